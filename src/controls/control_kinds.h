// The control kinds as the shell sees them: what each can do and how one is made.
#pragma once

#include <span>

#include "platform/platform.h"
#include "shell/window_registry.h"

namespace quorvel::controls {

struct KindOps {
  shell::Kind kind;
  bool canTakeFocus;
  bool raisesEvents;
  // Keys the kind keeps from the window's keyboard handling; nullptr claims none.
  bool (*claimsKey)(const shell::ControlEntry& entry, KeyPress key);
  // Makes the control hidden; nullptr when the toolkit cannot. nullptr for the window kind.
  platform::Handle (*create)(platform::Handle parent, shell::ControlInstance& control,
                             ControlIdentity id, platform::ControlStyle style);
  void (*programEnding)();  // nullptr: nothing to release at the end
};

std::span<const KindOps> ControlKinds();
const KindOps* FindKind(std::span<const KindOps> kinds, shell::Kind kind);

// The kinds' create operations.
platform::Handle CreateEditBoxControl(platform::Handle parent, shell::ControlInstance& control,
                                      ControlIdentity id, platform::ControlStyle style);
platform::Handle CreateButtonControl(platform::Handle parent, shell::ControlInstance& control,
                                     ControlIdentity id, platform::ControlStyle style);
platform::Handle CreatePicBoxControl(platform::Handle parent, shell::ControlInstance& control,
                                     ControlIdentity id, platform::ControlStyle style);
platform::Handle CreateHtmlViewerControl(platform::Handle parent, shell::ControlInstance& control,
                                         ControlIdentity id, platform::ControlStyle style);

}  // namespace quorvel::controls
