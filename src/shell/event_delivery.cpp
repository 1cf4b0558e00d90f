#include "shell/event_delivery.h"

#include <span>

#include "controls/control_kinds.h"
#include "shell/fatal_error.h"
#include "shell/shell.h"

namespace quorvel::shell {

Delivery DeliverEvent(std::uint32_t windowNumber, std::uint32_t controlNumber, int event) {
  ShellState& shell = Shell();
  if (shell.EventSuspendCount > 0) return {};

  WindowInstance* window = shell.windows.FindOpen(windowNumber);
  if (window == nullptr) ReportFatalError("未找到引发事件的窗口", 0);

  Kind kind = Kind::Window;
  std::span<const EventBinding> bindings = window->stored->bindings;
  if (controlNumber != 0 && controlNumber != windowNumber) {
    ControlInstance* control = window->Control(controlNumber);
    if (control == nullptr) ReportFatalError("未找到引发事件的窗口组件", 0);
    kind = control->kind();
    bindings = control->stored->bindings;
  }
  const controls::KindOps* ops = controls::FindKind(shell.kinds, kind);
  if (ops == nullptr || !ops->raisesEvents) ReportFatalError("引发事件的窗口组件无效", 0);

  for (const EventBinding& binding : bindings) {
    if (binding.event != event || binding.command == nullptr) continue;
    // Commands can raise events of their own; the outer note comes back afterwards.
    const EventNote outer = shell.handling;
    shell.handling = {windowNumber, controlNumber};
    const Answer answer = binding.command();
    shell.handling = outer;
    return {true, answer};
  }
  return {};
}

}  // namespace quorvel::shell
