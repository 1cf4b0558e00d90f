#include "shell/focus.h"

#include <algorithm>

#include "controls/control_kinds.h"
#include "shell/native_events.h"
#include "shell/shell.h"

namespace quorvel::shell {

bool IsFocusCandidate(const ControlInstance& control) {
  const controls::KindOps* kind = controls::FindKind(Shell().kinds, control.kind());
  return control.native != nullptr && control.visible && !control.disabled &&
         control.stored->takesFocus && kind != nullptr && kind->canTakeFocus;
}

std::vector<ControlInstance*> FocusCycle(WindowInstance& window) {
  std::vector<ControlInstance*> cycle;
  for (auto control = window.controls.rbegin(); control != window.controls.rend(); ++control)
    if (IsFocusCandidate(*control)) cycle.push_back(&*control);
  std::stable_sort(cycle.begin(), cycle.end(), [](const auto* a, const auto* b) {
    return a->stored->focusOrder < b->stored->focusOrder;
  });
  return cycle;
}

ControlInstance* NextInCycle(WindowInstance& window, const ControlInstance* from, bool forward) {
  const std::vector<ControlInstance*> cycle = FocusCycle(window);
  if (cycle.empty()) return nullptr;
  const auto at = std::find(cycle.begin(), cycle.end(), from);
  if (at == cycle.end()) return forward ? cycle.front() : cycle.back();
  const auto index = static_cast<std::size_t>(at - cycle.begin());
  const std::size_t size = cycle.size();
  return cycle[forward ? (index + 1) % size : (index + size - 1) % size];
}

FocusPlace PlaceOf(WindowInstance& window, platform::Handle native) {
  if (native == nullptr) return {};
  if (ControlInstance* control = window.ControlOwning(native)) return {control, false};
  for (platform::Handle at = platform::ParentOf(native); at != nullptr;
       at = platform::ParentOf(at)) {
    for (auto& control : window.controls)
      if (control.native != nullptr && control.native == at) return {&control, true};
  }
  return {};
}

FocusPlace LocateFocus(WindowInstance& window) {
  return PlaceOf(window, platform::FocusedWindow());
}

ControlInstance* FocusOnActivation(WindowInstance& window) {
  if (ControlInstance* last = window.Control(window.focusAtDeactivation)) {
    if (last->native != nullptr && last->visible && !last->disabled) return last;
  }
  const std::vector<ControlInstance*> cycle = FocusCycle(window);
  return cycle.empty() ? nullptr : cycle.front();
}

void OnWindowActivated(platform::Handle native) {
  WindowInstance* window = Shell().windows.FindOpen(native);
  if (window == nullptr || window->destroying) return;
  if (ControlInstance* control = FocusOnActivation(*window)) platform::SetFocus(control->native);
}

void OnWindowDeactivated(platform::Handle native) {
  WindowInstance* window = Shell().windows.FindOpen(native);
  if (window == nullptr) return;
  const FocusPlace place = LocateFocus(*window);
  window->focusAtDeactivation = place.control == nullptr ? 0 : place.control->number();
}

}  // namespace quorvel::shell
