// What the parts of the Win32 layer share: handle conversion, texts, the guard at every
// boundary the system calls us through, and per-control data.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/owners.h"

namespace quorvel::win32 {

inline HWND Hwnd(platform::Handle handle) {
  return reinterpret_cast<HWND>(handle);
}
inline platform::Handle Wrap(HWND window) {
  return reinterpret_cast<platform::Handle>(window);
}
inline COLORREF Ref(Colour colour) {
  return RGB(colour.red, colour.green, colour.blue);
}

HINSTANCE Instance();

// UTF-8 <-> UTF-16 at the edge; malformed input becomes U+FFFD, never a legacy code page.
std::wstring Wide(const char* text);
std::string Utf8(const wchar_t* text, int length);

// Registers a window class once per process; the class name is returned.
const wchar_t* EnsureClass(const wchar_t* name, WNDPROC procedure, UINT style, HBRUSH background);

// Runs `body` and swallows any exception, so none crosses a window procedure or COM method.
template <class Result, class Body>
Result Guarded(Result fallback, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}

// Kept on every control window we create (window property), removed when it is destroyed.
struct ControlData {
  enum class Kind { EditBox, Button, PicBox };
  ControlData(Kind k, ControlIdentity identity) : kind(k), id(identity) {}
  Kind kind;
  ControlIdentity id;
  COLORREF text = 0;
  COLORREF background = 0;
  GdiObject brush;                  // background brush
  RECT inside{};                    // edit box: inside of its border, in window coordinates
  platform::PixelBuffer picture{};  // picture box only
};

ControlData* DataOf(HWND window);
// A kind's own message handling on top of the control's class; true when it answered.
using KindProcedure = bool (*)(HWND, UINT, WPARAM, LPARAM, LRESULT& result);
// Attaches `data` to `window` (which then owns it: freed at WM_NCDESTROY) and routes its
// messages through `kind` first, when given.
void AttachData(HWND window, ControlData* data, KindProcedure kind);

// The web view behind a window of the engine, or nullptr; used by the message loop.
bool EngineTranslateAccelerator(MSG& message);

}  // namespace quorvel::win32
