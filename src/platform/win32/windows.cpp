// Top-level windows, icons, and what every control shares (parent, stacking, focus).
#include <climits>

#include "platform/platform.h"
#include "platform/win32/common.h"
#include "shell/native_events.h"

namespace quorvel::win32 {
namespace {

struct TopWindowData {
  GdiObject background;
  bool sizable;
};

TopWindowData* TopDataOf(HWND window) {
  return reinterpret_cast<TopWindowData*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void PaintBackground(HWND window, HDC dc, const RECT& area) {
  if (TopWindowData* data = TopDataOf(window)) FillRect(dc, &area, data->background.brush());
}

LRESULT TopWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_GETMINMAXINFO:
      // A fixed frame keeps the size it was given, even where the screen is smaller; the
      // default limit would cut it to the screen's size.
      if (TopWindowData* data = TopDataOf(window); data && !data->sizable) {
        DefWindowProcW(window, message, wParam, lParam);
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMaxTrackSize = {SHRT_MAX, SHRT_MAX};
        return 0;
      }
      break;
    case WM_ERASEBKGND: {
      RECT area;
      GetClientRect(window, &area);
      PaintBackground(window, reinterpret_cast<HDC>(wParam), area);
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      PaintBackground(window, dc, paint.rcPaint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_ACTIVATE:
      // The core puts the focus; the default would put it on the window itself.
      if (LOWORD(wParam) == WA_INACTIVE) {
        shell::OnWindowDeactivated(Wrap(window));
      } else if (!HIWORD(wParam)) {
        shell::OnWindowActivated(Wrap(window));
        return 0;
      }
      break;
    case WM_CLOSE:
      shell::RequestClose(Wrap(window));
      return 0;
    case WM_QUERYENDSESSION:
      return DefWindowProcW(window, message, wParam, lParam) &&
             shell::QueryEndSession(Wrap(window));
    case WM_DESTROY:
      shell::OnWindowDestroying(Wrap(window));
      return 0;
    case WM_NCDESTROY: {
      shell::OnWindowDestroyed(Wrap(window));
      delete TopDataOf(window);
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      break;
    }
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        ControlData* data = DataOf(reinterpret_cast<HWND>(lParam));
        if (data && data->kind == ControlData::Kind::Button) {
          controls::OnButtonClicked(data->id);
          return 0;
        }
      }
      break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      ControlData* data = DataOf(reinterpret_cast<HWND>(lParam));
      if (data && data->kind == ControlData::Kind::EditBox) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, data->text);
        SetBkColor(dc, data->background);
        return reinterpret_cast<LRESULT>(data->brush.brush());
      }
      break;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK TopWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    return TopWindowMessage(window, message, wParam, lParam);
  } catch (...) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace
}  // namespace quorvel::win32

namespace quorvel::platform {

using namespace win32;

ScreenSize PrimaryScreenSize() {
  return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

Handle CreateTopWindow(const WindowStyle& style, Rect frame) {
  const wchar_t* cls = EnsureClass(L"QuorvelWindow", TopWindowProcedure,
                                   CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, nullptr);
  if (!cls) return nullptr;
  DWORD flags = WS_CAPTION | WS_CLIPCHILDREN;
  if (style.controlBox) flags |= WS_SYSMENU;
  if (style.minimiseBox) flags |= WS_MINIMIZEBOX;
  if (style.maximiseBox) flags |= WS_MAXIMIZEBOX;
  if (style.sizable) flags |= WS_THICKFRAME;
  auto* data = new (std::nothrow)
      TopWindowData{GdiObject(CreateSolidBrush(Ref(style.background))), style.sizable};
  if (!data) return nullptr;
  HWND window = CreateWindowExW(0, cls, Wide(style.title).c_str(), flags, frame.left, frame.top,
                                frame.width, frame.height, nullptr, nullptr, Instance(), data);
  if (!window) {
    delete data;
    return nullptr;
  }
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
               FALSE);
  return Wrap(window);
}

Rect WindowFrame(Handle window) {
  RECT r{};
  GetWindowRect(Hwnd(window), &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

void SetWindowFrame(Handle window, Rect frame) {
  MoveWindow(Hwnd(window), frame.left, frame.top, frame.width, frame.height, TRUE);
}

IconPair LoadProgramIcons() {
  auto load = [](int size) {
    return reinterpret_cast<IconHandle>(
        LoadImageW(Instance(), L"DEFAULT_ICON", IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  };
  return {load(32), load(16)};
}

void DestroyIcons(IconPair icons) {
  if (icons.big) DestroyIcon(reinterpret_cast<HICON>(icons.big));
  if (icons.small) DestroyIcon(reinterpret_cast<HICON>(icons.small));
}

void SetWindowIcons(Handle window, IconPair icons) {
  SendMessageW(Hwnd(window), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons.big));
  SendMessageW(Hwnd(window), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons.small));
}

void ShowWindowNormal(Handle window) {
  ShowWindow(Hwnd(window), SW_SHOW);
}

void DestroyWindow(Handle window) {
  ::DestroyWindow(Hwnd(window));
}

void AttachToParent(Handle control, Handle parent) {
  SetParent(Hwnd(control), Hwnd(parent));
}

void PlaceBelow(Handle control, Handle above) {
  SetWindowPos(Hwnd(control), above ? Hwnd(above) : HWND_TOP, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void SetControlVisible(Handle control, bool visible) {
  SetWindowPos(Hwnd(control), nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE |
                   (visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

void SetFocus(Handle control) {
  ::SetFocus(Hwnd(control));
}

Handle FocusedWindow() {
  return Wrap(GetFocus());
}

Handle ParentOf(Handle window) {
  HWND hwnd = Hwnd(window);
  // A top-level window's GetParent is its owner, which is not what the core asks for.
  if (!hwnd || !(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD)) return nullptr;
  return Wrap(GetAncestor(hwnd, GA_PARENT));
}

}  // namespace quorvel::platform
