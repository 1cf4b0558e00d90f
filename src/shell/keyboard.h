// The window's keyboard handling, as a decision about one key.
#pragma once

#include "shell/focus.h"
#include "shell/types.h"
#include "shell/window_registry.h"

namespace quorvel::shell {

enum class KeyAction {
  PassOn,     // the window takes no part: the key goes on to the control
  Swallow,    // the window takes the key and nothing happens
  MoveFocus,  // to `target`
  Click,      // raise `target`'s click
  Close,      // ask the window to close
};

struct KeyDecision {
  KeyAction action = KeyAction::PassOn;
  ControlInstance* target = nullptr;
  friend bool operator==(const KeyDecision&, const KeyDecision&) = default;
};

// `aimedAt` is the control that owns the message's target window, if any.
KeyDecision DecideKey(WindowInstance& window, KeyPress key, FocusPlace focus,
                      const ControlInstance* aimedAt);

}  // namespace quorvel::shell
