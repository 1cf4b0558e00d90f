// Process entry: the system's own process setup, then the core runs the program.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "shell/native_events.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  // No critical-error or missing-file boxes from the system itself.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // The edit box and buttons come from common controls 6 (see the manifest).
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  return quorvel::shell::RunProgram();
}
