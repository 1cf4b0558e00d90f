// Keyboard focus among a window's controls.
#pragma once

#include <vector>

#include "shell/window_registry.h"

namespace quorvel::shell {

bool IsFocusCandidate(const ControlInstance& control);

// The candidates by focus order, lowest first; equal numbers bottom of the stack first.
// Worked out anew each time, so hidden or disabled controls drop out.
std::vector<ControlInstance*> FocusCycle(WindowInstance& window);

// The next (or previous) candidate after `from`, wrapping around; from a control outside the
// cycle, the first (or last). nullptr when there is no candidate.
ControlInstance* NextInCycle(WindowInstance& window, const ControlInstance* from, bool forward);

// Where a window lies among the controls (and so where the focus rests): on a control's own window
// or its direct child (`deeper` false), or further inside a control, such as inside the web
// engine's page (`deeper` true).
struct FocusPlace {
  ControlInstance* control = nullptr;
  bool deeper = false;
};
FocusPlace PlaceOf(WindowInstance& window, platform::Handle native);
FocusPlace LocateFocus(WindowInstance& window);  // PlaceOf the focused window

// Who gets the focus when the window is activated.
ControlInstance* FocusOnActivation(WindowInstance& window);

}  // namespace quorvel::shell
