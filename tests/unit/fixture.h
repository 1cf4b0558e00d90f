// Shared set-up: a fresh shell and a fresh fake toolkit for every test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "shell/main_window_description.h"
#include "shell/native_events.h"
#include "shell/shell.h"

namespace quorvel::test {

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }

  static void Reset() {
    fake::ResetFake();
    shell::Shell() = shell::ShellState{};
  }

  fake::FakePlatform& fake() { return fake::Fake(); }
  shell::ShellState& shell() { return shell::Shell(); }

  // Runs `body`; the exit code when it ended the process, nothing when it returned.
  static std::optional<int> ExitCodeOf(const std::function<void()>& body) {
    try {
      body();
    } catch (const fake::ProcessExit& exit) {
      return exit.code;
    }
    return std::nullopt;
  }

  // InitShell and LoadWindow(MainWindow), as start-up does before the loop.
  void OpenMainWindow() {
    shell::InitShell();
    shell::LoadWindow(MainWindow);
    fake().calls.clear();
  }

  platform::Handle Native(std::uint32_t control) {
    shell::ControlInstance* instance = shell::FindControl({MainWindow, control});
    return instance == nullptr ? nullptr : instance->native;
  }

  platform::Handle Window() { return shell().windows.FindOpen(MainWindow)->native; }

  // Index of the first call starting with `prefix`, or -1.
  int CallIndex(const std::string& prefix) {
    const auto& calls = fake().calls;
    for (std::size_t i = 0; i < calls.size(); ++i)
      if (calls[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
  }

  std::vector<std::string> CallsStartingWith(const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& call : fake().calls)
      if (call.rfind(prefix, 0) == 0) found.push_back(call);
    return found;
  }
};

}  // namespace quorvel::test
