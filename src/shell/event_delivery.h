// Event delivery: from a raised event to the command bound to it.
#pragma once

#include <cstdint>

#include "shell/window_description.h"

namespace quorvel::shell {

struct Delivery {
  bool ran = false;  // a bound command ran
  Answer answer = Answer::None;

  // What a raiser asking permission learns: only a command that ran and said false refuses.
  bool refused() const { return ran && answer == Answer::False; }
};

// Control number 0, or the window's own number, raises the window's own event.
Delivery DeliverEvent(std::uint32_t window, std::uint32_t control, int event);

}  // namespace quorvel::shell
