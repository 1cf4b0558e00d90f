// Closing a window and the end of its life.
#include "shell/event_delivery.h"
#include "shell/native_events.h"
#include "shell/shell.h"

namespace quorvel::shell {

void RequestClose(platform::Handle native) {
  ShellState& shell = Shell();
  WindowInstance* window = shell.windows.FindOpen(native);
  if (window == nullptr || window->destroying) return;
  const std::uint32_t number = window->number();
  if (DeliverEvent(number, 0, kEventFirstCloseQuestion).refused()) return;
  if (shell.windows.FindOpen(native) == nullptr) return;
  if (DeliverEvent(number, 0, kEventCloseAsked).refused()) return;
  if (shell.windows.FindOpen(native) == nullptr) return;
  platform::DestroyWindow(native);
}

bool QueryEndSession(platform::Handle native) {
  if (WindowInstance* window = Shell().windows.FindOpen(native))
    DeliverEvent(window->number(), 0, kEventCloseAsked);
  return true;  // the window never objects to the end of the session
}

void OnWindowDestroying(platform::Handle native) {
  WindowInstance* window = Shell().windows.FindOpen(native);
  if (window == nullptr || window->destroying) return;
  window->destroying = true;
  DeliverEvent(window->number(), 0, kEventDestroying);
}

void OnWindowDestroyed(platform::Handle native) {
  ShellState& shell = Shell();
  WindowInstance* window = shell.windows.FindOpen(native);
  if (window == nullptr) return;
  shell.windows.Close(window);
  if (shell.loopStarted && !shell.windows.AnyOpen()) platform::PostQuit(0);
}

void OnControlDestroyed(ControlIdentity id) {
  if (ControlInstance* control = FindControl(id)) control->native = nullptr;
}

}  // namespace quorvel::shell
