// The address box kind: its settings, what it claims from the window's keyboard handling, and
// reading its text.
#pragma once

#include "shell/types.h"

namespace quorvel::controls {

// The EditBox kind's own settings (numbers 8 to 28; 0 to 7 live in the control entry).
struct EditBoxSettings {
  const char* text = "";             // 8
  int border = 1;                    // 9: 1 sunken three-dimensional edge
  Colour textColour{0, 0, 0};        // 10
  Colour background{255, 255, 255};  // 11
  const void* font = nullptr;        // 12: none means the default UI font
  bool hideSelection = true;         // 13
  int maxLength = 0;                 // 14: 0 no limit of the box's own
  bool multiLine = false;            // 15
  int scrollBars = 0;                // 16
  int alignment = 0;                 // 17: left
  int inputMode = 0;                 // 18: 0 normal, 1 read-only, 2 password, ...
  char passwordChar = '*';           // 19
  int caseConversion = 0;            // 20
  int adjuster = 0;                  // 21
  int adjusterLow = 0;               // 22
  int adjusterHigh = 100;            // 23
  int selectionStart = 0;            // 24
  int selectionLength = 0;           // 25
  // 26, the selected text, is never stored.
  const char* dataSource = "";  // 27
  const char* dataColumn = "";  // 28
};

inline constexpr int kInputReadOnly = 1;

// A box claims Enter only when it is multi-line and editable.
bool EditBoxClaimsKey(const EditBoxSettings& settings, KeyPress key);

// The box's whole content in a new block the caller releases with FreeBlock, or no text at all
// (nullptr) when the box is empty or does not exist.
char* ReadEditText(ControlIdentity box);

}  // namespace quorvel::controls
