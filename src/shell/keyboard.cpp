#include "shell/keyboard.h"

#include <variant>

#include "controls/control_kinds.h"
#include "shell/native_events.h"
#include "shell/shell.h"

namespace quorvel::shell {
namespace {

bool IsDefaultPushButton(const ControlInstance* control) {
  if (control == nullptr || control->kind() != Kind::Button) return false;
  const auto* settings = std::get_if<controls::ButtonSettings>(&control->stored->settings);
  return settings != nullptr && settings->type == controls::kDefaultPushButton;
}

bool Claims(const ControlInstance& control, KeyPress key) {
  const controls::KindOps* kind = controls::FindKind(Shell().kinds, control.kind());
  return kind != nullptr && kind->claimsKey != nullptr && kind->claimsKey(*control.stored, key);
}

}  // namespace

KeyDecision DecideKey(WindowInstance& window, KeyPress key, FocusPlace focus,
                      const ControlInstance* aimedAt) {
  if (aimedAt != nullptr && aimedAt->disabled) return {};
  // Deep inside a control (the engine's page) the control is not recognised as focused.
  ControlInstance* focused = focus.deeper ? nullptr : focus.control;
  if (focused != nullptr && Claims(*focused, key)) return {};

  const WindowSettings& settings = window.stored->settings;
  const bool plain = !key.ctrl && !key.alt;
  switch (key.key) {
    case Key::Tab: {
      if (!plain) return {};
      if (focus.deeper) return {KeyAction::Swallow};
      ControlInstance* next = NextInCycle(window, focused, !key.shift);
      if (next == nullptr) return {KeyAction::Swallow};
      return {KeyAction::MoveFocus, next};
    }
    case Key::Enter: {
      if (key.alt) return {};
      if (IsDefaultPushButton(focused)) return {KeyAction::Click, focused};
      if (settings.enterMovesFocus) {
        if (focus.deeper) return {KeyAction::Swallow};
        ControlInstance* next = NextInCycle(window, focused, true);
        return next == nullptr ? KeyDecision{KeyAction::Swallow}
                               : KeyDecision{KeyAction::MoveFocus, next};
      }
      for (auto& control : window.controls)
        if (IsDefaultPushButton(&control) && IsFocusCandidate(control))
          return {KeyAction::Click, &control};
      return {};
    }
    case Key::Escape:
      if (settings.escCloses && plain) return {KeyAction::Close};
      return {};
    default:
      // F1 opens no help (setting off) and no caption carries a mnemonic, so Alt+letter
      // clicks nothing: both take their normal course.
      return {};
  }
}

bool OfferKey(platform::Handle target, KeyPress key) {
  WindowInstance* window = Shell().windows.FindOpenContaining(target);
  if (window == nullptr || window->destroying) return false;
  const ControlInstance* aimedAt = PlaceOf(*window, target).control;
  const KeyDecision decision = DecideKey(*window, key, LocateFocus(*window), aimedAt);
  switch (decision.action) {
    case KeyAction::PassOn:
      return false;
    case KeyAction::Swallow:
      return true;
    case KeyAction::MoveFocus:
      platform::SetFocus(decision.target->native);
      return true;
    case KeyAction::Click:
      controls::OnButtonClicked({window->number(), decision.target->number()});
      return true;
    case KeyAction::Close:
      RequestClose(window->native);
      return true;
  }
  return false;
}

}  // namespace quorvel::shell
