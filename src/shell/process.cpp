#include <algorithm>
#include <set>

#include "commands/playback_commands.h"
#include "controls/control_kinds.h"
#include "shell/fatal_error.h"
#include "shell/main_window_description.h"
#include "shell/native_events.h"
#include "shell/shell.h"

namespace quorvel::shell {
namespace {

// The program itself has nothing to prepare at start or to release at the end.
void ProgramInitialisation() {}
void ProgramShutdown() {}

// A description with duplicate or missing numbers, or settings of the wrong kind, cannot be
// used: events and commands address controls by number.
bool Readable(const StoredWindow& window) {
  if (window.number == 0) return false;
  std::set<std::uint32_t> numbers{window.number};
  for (const ControlEntry& entry : window.controls) {
    if (entry.number == 0 || !numbers.insert(entry.number).second) return false;
    const bool settingsFit = (entry.kind == Kind::EditBox &&
                              std::holds_alternative<controls::EditBoxSettings>(entry.settings)) ||
                             (entry.kind == Kind::Button &&
                              std::holds_alternative<controls::ButtonSettings>(entry.settings)) ||
                             (entry.kind == Kind::PicBox &&
                              std::holds_alternative<controls::PicBoxSettings>(entry.settings)) ||
                             (entry.kind == Kind::HtmlViewer &&
                              std::holds_alternative<controls::HtmlViewerSettings>(entry.settings));
    if (!settingsFit) return false;
  }
  for (const ControlEntry& entry : window.controls)
    if (entry.parent != 0 && !numbers.contains(entry.parent)) return false;
  return true;
}

void OrderlyShutdown() {
  ShellState& shell = Shell();
  if (shell.shutdownDone) return;
  ++shell.EventSuspendCount;
  shell.shutdownDone = true;

  while (shell.windows.AnyOpen()) {
    WindowInstance& window = shell.windows.OpenWindows().front();
    if (window.native != nullptr) platform::DestroyWindow(window.native);
    // The toolkit reports the destruction; drop the copy in case it did not.
    if (shell.windows.AnyOpen() && &shell.windows.OpenWindows().front() == &window)
      shell.windows.Close(&window);
  }

  const std::vector<Routine> routines = std::move(shell.shutdownRoutines);
  shell.shutdownRoutines.clear();
  for (Routine routine : routines) routine();

  for (const controls::KindOps& kind : shell.kinds)
    if (kind.programEnding != nullptr) kind.programEnding();

  if (shell.defaultIconsLoaded) {
    platform::DestroyIcons(shell.defaultIcons);
    shell.defaultIcons = {};
    shell.defaultIconsLoaded = false;
  }
  if (shell.ownerWindow != nullptr) {
    platform::DestroyOwnerWindow(shell.ownerWindow);
    shell.ownerWindow = nullptr;
  }
  if (shell.oleInitialised) {
    platform::UninitOle();
    shell.oleInitialised = false;
  }
}

}  // namespace

ShellState& Shell() {
  static ShellState state;
  return state;
}

SplitPath SplitProgramPath(const std::string& path, char separator) {
  const auto cut = path.rfind(separator);
  if (cut == std::string::npos) return {"", path};
  std::string folder = path.substr(0, cut);
  // A file at the root keeps the root: "C:" alone or "" would name the wrong folder.
  if (folder.empty() || (folder.size() == 2 && folder[1] == ':')) folder += separator;
  return {folder, path.substr(cut + 1)};
}

void InitShell() {
  ShellState& shell = Shell();
  // Blocks come from the process's default heap (platform::HeapAllocate); nothing to hold.

  // The flag records a successful initialisation only, so shutdown never unbalances OLE.
  if (!shell.oleInitialised) shell.oleInitialised = platform::InitOle();

  SplitPath split = SplitProgramPath(platform::ProgramPath(), platform::PathSeparator());
  shell.programFolder = std::move(split.folder);
  shell.programFileName = std::move(split.fileName);
  if (!shell.programFolder.empty()) platform::SetCurrentFolder(shell.programFolder);

  shell.ownerWindow = platform::CreateOwnerWindow();
  shell.mainThread = std::this_thread::get_id();
  shell.constantTexts.assign(commands::ConstantTexts().begin(), commands::ConstantTexts().end());
  shell.kinds = controls::ControlKinds();

  for (const StoredWindow* window : StoredWindows()) {
    if (window == nullptr || !Readable(*window)) ReportFatalError("载入窗口模板数据段出错!", 0);
    shell.windows.Register(*window);
  }
  // The stored bindings point straight at their commands, so they are bound once linked.
}

void AddShutdownRoutine(Routine routine) {
  auto& routines = Shell().shutdownRoutines;
  if (std::find(routines.begin(), routines.end(), routine) == routines.end())
    routines.push_back(routine);
}

void RunEventLoop() {
  ShellState& shell = Shell();
  shell.loopStarted = true;
  if (!shell.windows.AnyOpen()) return;
  shell.quitCode = platform::RunMessageLoop();
}

int StartRoutine() {
  InitShell();
  platform::SetFpuDefault();
  ProgramInitialisation();
  AddShutdownRoutine(ProgramShutdown);
  LoadWindow(MainWindow);
  RunEventLoop();
  return 0;
}

void EndProgram(int exitCode) {
  OrderlyShutdown();
  platform::ExitProcess(exitCode);
}

platform::IconPair DefaultIcons() {
  ShellState& shell = Shell();
  if (!shell.defaultIconsLoaded) {
    shell.defaultIcons = platform::LoadProgramIcons();
    shell.defaultIconsLoaded = true;
  }
  return shell.defaultIcons;
}

int RunProgram() {
  StartRoutine();
  OrderlyShutdown();
  return Shell().quitCode;
}

}  // namespace quorvel::shell
