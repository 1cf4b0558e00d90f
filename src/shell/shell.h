// The life of the process: start-up, the event loop, shutdown, and the shell's state record.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "shell/window_registry.h"

namespace quorvel::controls {
struct KindOps;
}

namespace quorvel::shell {

using Routine = void (*)();

struct EventNote {
  std::uint32_t window = 0;
  std::uint32_t control = 0;
};

// The process-wide state. One instance, reached through Shell().
struct ShellState {
  int EventSuspendCount = 0;  // above 0: no event reaches a command
  bool loopStarted = false;
  bool shutdownDone = false;
  std::vector<Routine> shutdownRoutines;  // registration order, no duplicates
  std::string programFolder;
  std::string programFileName;
  std::thread::id mainThread;
  bool oleInitialised = false;
  platform::IconPair defaultIcons;  // loaded on first use
  bool defaultIconsLoaded = false;
  platform::Handle ownerWindow = nullptr;
  WindowRegistry windows;
  std::vector<const char*> constantTexts;    // FreeBlock leaves these alone
  std::span<const controls::KindOps> kinds;  // connected by InitShell
  EventNote handling;                        // the event whose command is running
  int quitCode = 0;
};

ShellState& Shell();

int StartRoutine();
void InitShell();
void AddShutdownRoutine(Routine routine);
void LoadWindow(std::uint32_t windowNumber);
void RunEventLoop();
[[noreturn]] void EndProgram(int exitCode);

// The program's icon, loaded once on first use and destroyed at shutdown.
platform::IconPair DefaultIcons();

// Splits a program file's full path at its last separator into folder and file name.
struct SplitPath {
  std::string folder;
  std::string fileName;
};
SplitPath SplitProgramPath(const std::string& path, char separator);

}  // namespace quorvel::shell
