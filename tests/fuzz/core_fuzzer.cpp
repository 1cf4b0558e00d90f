// Random sequences of keys, clicks, focus moves, typing and visibility changes against the
// core on the fake toolkit. Invariants: the focus only ever rests on a candidate or stays where
// it was; after a fatal error no command runs; at the end every block is released.
#include <cstdlib>
#include <string>

#include "commands/playback_commands.h"
#include "controls/pic_box.h"
#include "fake_platform.h"
#include "shell/fatal_error.h"
#include "shell/focus.h"
#include "shell/main_window_description.h"
#include "shell/native_events.h"
#include "shell/shell.h"

namespace {

using namespace quorvel;

constexpr std::uint32_t kControls[] = {kWebView1, kPicBox1, kEditBox1, kButton1, kButton2};

void Check(bool condition) {
  if (!condition) std::abort();
}

platform::Handle Native(std::uint32_t control) {
  shell::ControlInstance* instance = shell::FindControl({MainWindow, control});
  return instance == nullptr ? nullptr : instance->native;
}

bool FocusOnCandidate() {
  shell::WindowInstance* window = shell::Shell().windows.FindOpen(MainWindow);
  if (window == nullptr) return true;
  const shell::FocusPlace place = shell::LocateFocus(*window);
  return place.control != nullptr && (place.deeper || shell::IsFocusCandidate(*place.control));
}

// One step; false once the process has ended or the window is gone.
bool Step(std::uint8_t op, std::uint8_t arg) {
  auto& fake = fake::Fake();
  shell::WindowInstance* window = shell::Shell().windows.FindOpen(MainWindow);
  if (window == nullptr) return false;
  const std::uint32_t control = kControls[arg % 5];
  switch (op % 8) {
    case 0: {  // a key
      KeyPress key;
      key.key = static_cast<Key>(arg % 7);
      key.shift = arg & 0x10;
      key.alt = arg & 0x20;
      key.ctrl = arg & 0x40;
      const platform::Handle before = fake.focused;
      const bool wasCandidate = FocusOnCandidate();
      const platform::Handle target = fake.focused != nullptr ? fake.focused : window->native;
      shell::OfferKey(target, key);
      if (shell::Shell().windows.FindOpen(MainWindow) != nullptr && fake.focused != before)
        Check(FocusOnCandidate() || !wasCandidate);
      break;
    }
    case 1:
      controls::OnButtonClicked({MainWindow, arg & 1 ? kButton2 : kButton1});
      break;
    case 2:  // the user clicks into a control, or deep into the page
      fake.focused = (arg & 0x80) ? fake.AddInner(Native(kWebView1)) : Native(control);
      break;
    case 3:
      controls::SetPicBoxVisible({MainWindow, kPicBox1}, arg & 1);
      break;
    case 4:  // typing
      fake.NodeOf(Native(kEditBox1)).text.append(std::string(arg % 40, char('a' + arg % 26)));
      if (arg & 0x80) fake.NodeOf(Native(kEditBox1)).text.clear();
      break;
    case 5:
      if (arg & 1)
        shell::OnWindowDeactivated(window->native);
      else
        shell::OnWindowActivated(window->native);
      break;
    case 6:  // hide or disable a control, as a future command might
      if (shell::ControlInstance* c = window->Control(control))
        (arg & 0x80 ? c->disabled : c->visible) = arg & 1;
      break;
    case 7:
      if (arg == 0xFF) {  // a fatal error while the window is open
        const std::size_t navigations = fake.navigations.size();
        fake.whileErrorBoxOpen = [] { controls::OnButtonClicked({MainWindow, kButton1}); };
        try {
          shell::ReportFatalError("injected", 0);
        } catch (const fake::ProcessExit& exit) {
          Check(exit.code == -1);
        }
        Check(fake.navigations.size() == navigations);
        controls::OnButtonClicked({MainWindow, kButton2});
        Check(fake.navigations.size() == navigations);
        return false;
      }
      if (arg == 0xFE) fake.failAllocationAt = fake.allocations;  // the next block fails
      break;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fake::ResetFake();
  shell::Shell() = shell::ShellState{};
  auto& fake = fake::Fake();
  try {
    shell::InitShell();
    shell::LoadWindow(MainWindow);
    Check(FocusOnCandidate());
    for (std::size_t i = 0; i + 1 < size; i += 2)
      if (!Step(data[i], data[i + 1])) break;
    if (shell::WindowInstance* window = shell::Shell().windows.FindOpen(MainWindow))
      shell::RequestClose(window->native);
    shell::EndProgram(0);
  } catch (const fake::ProcessExit&) {
  }
  Check(fake.liveBlocks.empty());
  Check(fake.badFrees == 0);
  Check(fake.livePixelBuffers == 0);
  return 0;
}
