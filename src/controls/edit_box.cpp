#include "controls/edit_box.h"

#include <variant>

#include "controls/control_kinds.h"
#include "shell/block_memory.h"
#include "shell/native_events.h"

namespace quorvel::controls {

bool EditBoxClaimsKey(const EditBoxSettings& settings, KeyPress key) {
  return key.key == Key::Enter && settings.multiLine && settings.inputMode != kInputReadOnly;
}

EditStrip SingleLineStrip(int insideTop, int insideHeight, int lineHeight) {
  const int top = insideTop + (insideHeight - lineHeight) / 2;
  return {top, top + lineHeight};
}

platform::Handle CreateEditBoxControl(platform::Handle parent, shell::ControlInstance& control,
                                      ControlIdentity id, platform::ControlStyle style) {
  const auto* settings = std::get_if<EditBoxSettings>(&control.stored->settings);
  if (settings == nullptr) return nullptr;
  platform::EditBoxLook look;
  look.text = settings->textColour;
  look.background = settings->background;
  look.sunkenEdge = settings->border == 1;
  look.hideSelection = settings->hideSelection;
  look.maxLength = settings->maxLength;
  look.initialText = settings->text;
  look.selectionStart = settings->selectionStart;
  look.selectionLength = settings->selectionLength;
  return platform::CreateEditBox(parent, id, control.stored->place, style, look);
}

char* ReadEditText(ControlIdentity box) {
  const shell::ControlInstance* control = shell::FindControl(box);
  if (control == nullptr || control->native == nullptr) return nullptr;
  return platform::EditBoxText(control->native);
}

}  // namespace quorvel::controls
