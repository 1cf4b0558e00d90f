#include "controls/button.h"

#include <variant>

#include "controls/control_kinds.h"
#include "shell/event_delivery.h"
#include "shell/native_events.h"

namespace quorvel::controls {

platform::Handle CreateButtonControl(platform::Handle parent, shell::ControlInstance& control,
                                     ControlIdentity id, platform::ControlStyle style) {
  const auto* settings = std::get_if<ButtonSettings>(&control.stored->settings);
  if (settings == nullptr) return nullptr;
  return platform::CreateButton(parent, id, control.stored->place, style, settings->caption);
}

void OnButtonClicked(ControlIdentity button) {
  shell::DeliverEvent(button.window, button.control, 0);
}

}  // namespace quorvel::controls
