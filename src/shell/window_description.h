// The shape of a stored window description: the window's own settings and its controls' entries.
// Descriptions are constant tables fixed at build time; an open window works on a copy
// (window_registry.h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <variant>

#include "controls/button.h"
#include "controls/edit_box.h"
#include "controls/html_viewer.h"
#include "controls/pic_box.h"
#include "shell/types.h"

namespace quorvel::shell {

enum class Kind { Window, EditBox, PicBox, Button, HtmlViewer };

// What a command hands back to a raiser that asks (only close questions ask here).
enum class Answer { None, True, False };
using Command = Answer (*)();

struct EventBinding {
  int event = 0;
  Command command = nullptr;
};

// The window kind's 32 settings, in their numbered order.
struct WindowSettings {
  int left = 0;                             // 0 左边 (unused when centred)
  int top = 0;                              // 1 顶边 (unused when centred)
  int width = 0;                            // 2 宽度, outer frame
  int height = 0;                           // 3 高度, outer frame
  const char* tag = "";                     // 4 标记
  bool visible = true;                      // 5 可视
  bool disabled = false;                    // 6 禁止
  int mousePointer = 0;                     // 7 鼠标指针: 0 the default arrow
  const char* title = "";                   // 8
  int borderStyle = 2;                      // 9: 2 fixed
  std::optional<Colour> background;         // 10: none means the button-face colour
  const void* backgroundPicture = nullptr;  // 11
  int picturePlacement = 1;                 // 12
  const void* backgroundSound = nullptr;    // 13
  int soundPlayMode = 0;                    // 14
  bool controlBox = true;                   // 15
  bool maximiseBox = false;                 // 16
  bool minimiseBox = true;                  // 17
  int startPosition = 1;                    // 18: 1 centred on the screen
  bool movable = true;                      // 19
  const void* icon = nullptr;               // 20: none means the program's icon
  bool enterMovesFocus = false;             // 21
  bool escCloses = true;                    // 22
  bool f1OpensHelp = false;                 // 23
  const char* helpFile = "";                // 24
  int helpTopic = 0;                        // 25
  bool showInTaskbar = true;                // 26
  bool dragByClientArea = false;            // 27
  int shape = 0;                            // 28: 0 rectangle
  bool alwaysOnTop = false;                 // 29
  bool keepTitleActive = false;             // 30
  const char* className = "";               // 31: empty means the shell's own class
};

inline constexpr int kStartAtStoredPlace = 0;
inline constexpr int kStartCentred = 1;

using KindSettings =
    std::variant<std::monostate, controls::EditBoxSettings, controls::ButtonSettings,
                 controls::PicBoxSettings, controls::HtmlViewerSettings>;

struct ControlEntry {
  std::uint32_t number = 0;
  Kind kind = Kind::Window;
  const char* name = "";
  Rect place{};              // in the parent's client area
  std::uint32_t parent = 0;  // 0: the window itself
  int mousePointer = 0;
  const char* tag = "";
  bool visible = true;
  bool disabled = false;
  bool takesFocus = false;
  int focusOrder = 0;
  std::span<const EventBinding> bindings;
  KindSettings settings;
};

struct StoredWindow {
  std::uint32_t number = 0;
  WindowSettings settings;
  std::span<const EventBinding> bindings;  // the window's own events
  std::span<const ControlEntry> controls;  // stacking order, topmost first
};

// The window's own events.
enum WindowEvent : int {
  kEventBuilt = 0,
  kEventCloseAsked = 1,
  kEventDestroying = 2,
  kEventMoved = 3,
  kEventResized = 4,
  kEventFirstCloseQuestion = 12,
};

}  // namespace quorvel::shell
