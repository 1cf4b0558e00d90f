// The address box, the push buttons and the picture box.
#include "platform/platform.h"
#include "platform/win32/common.h"
#include "shell/native_events.h"

namespace quorvel::win32 {
namespace {

DWORD CommonStyle(platform::ControlStyle style) {
  DWORD flags = WS_CHILD | WS_CLIPSIBLINGS;
  if (style.tabStop) flags |= WS_TABSTOP;
  if (style.disabled) flags |= WS_DISABLED;
  return flags;
}

HMENU ChildId(platform::ControlStyle style) {
  return reinterpret_cast<HMENU>(static_cast<INT_PTR>(style.childId));
}

HFONT GuiFont() {
  return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

// Height of "W" in the box's current font: one text line.
int LineHeight(HWND box) {
  WindowDc dc(box, false);
  Selection font(dc.get(), reinterpret_cast<HGDIOBJ>(SendMessageW(box, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc.get(), L"W", 1, &size);
  return size.cy;
}

// The client rectangle in window coordinates.
RECT ClientInWindow(HWND box) {
  RECT client, frame;
  GetClientRect(box, &client);
  MapWindowPoints(box, nullptr, reinterpret_cast<POINT*>(&client), 2);
  GetWindowRect(box, &frame);
  OffsetRect(&client, -frame.left, -frame.top);
  return client;
}

// The single-line box keeps only one text line as its client area; the margins above and
// below belong to the frame, painted in the box's colour and hit as border.
bool EditBoxMessage(HWND box, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_NCCALCSIZE: {
      RECT frame = wParam ? reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                          : *reinterpret_cast<RECT*>(lParam);
      result = DefSubclassProc(box, message, wParam, lParam);
      RECT& inside = wParam ? reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam)->rgrc[0]
                            : *reinterpret_cast<RECT*>(lParam);
      if (ControlData* data = DataOf(box)) {
        data->inside = inside;
        OffsetRect(&data->inside, -frame.left, -frame.top);
      }
      controls::EditStrip strip =
          controls::SingleLineStrip(inside.top, inside.bottom - inside.top, LineHeight(box));
      if (strip.top >= inside.top && strip.bottom <= inside.bottom) {
        inside.top = strip.top;
        inside.bottom = strip.bottom;
      }
      return true;
    }
    case WM_NCPAINT: {
      // The border first (a visual style paints its whole frame), then the margins inside it.
      result = DefSubclassProc(box, message, wParam, lParam);
      if (ControlData* data = DataOf(box)) {
        WindowDc dc(box, true);
        RECT client = ClientInWindow(box);
        ExcludeClipRect(dc.get(), client.left, client.top, client.right, client.bottom);
        FillRect(dc.get(), &data->inside, data->brush.brush());
      }
      return true;
    }
    case WM_NCHITTEST: {
      POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      RECT frame, client;
      GetWindowRect(box, &frame);
      GetClientRect(box, &client);
      MapWindowPoints(box, nullptr, reinterpret_cast<POINT*>(&client), 2);
      if (PtInRect(&frame, at) && !PtInRect(&client, at)) {
        result = HTBORDER;
        return true;
      }
      return false;
    }
    default:
      return false;
  }
}

void PaintPicBox(HWND box, HDC dc, const RECT& area) {
  ControlData* data = DataOf(box);
  if (!data) return;
  const platform::PixelBuffer& picture = data->picture;
  RECT client;
  GetClientRect(box, &client);
  if (picture.pixels) {
    MemoryDc memory(dc);
    Selection bitmap(memory.get(), static_cast<HBITMAP>(picture.owner));
    BitBlt(dc, 0, 0, picture.width, picture.height, memory.get(), 0, 0, SRCCOPY);
    ExcludeClipRect(dc, 0, 0, picture.width, picture.height);
  }
  RECT fill;
  if (IntersectRect(&fill, &client, &area)) FillRect(dc, &fill, data->brush.brush());
}

LRESULT CALLBACK PicBoxProcedure(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    switch (message) {
      case WM_ERASEBKGND:
        return 1;  // painted whole in WM_PAINT
      case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(box, &paint);
        PaintPicBox(box, dc, paint.rcPaint);
        EndPaint(box, &paint);
        return 0;
      }
      default:
        break;
    }
  } catch (...) {
  }
  return DefWindowProcW(box, message, wParam, lParam);
}

}  // namespace
}  // namespace quorvel::win32

namespace quorvel::platform {

using namespace win32;

Handle CreateEditBox(Handle parent, ControlIdentity id, Rect place, ControlStyle style,
                     const EditBoxLook& look) {
  DWORD flags = CommonStyle(style) | ES_AUTOHSCROLL | ES_LEFT;
  if (!look.hideSelection) flags |= ES_NOHIDESEL;
  auto* data = new (std::nothrow) ControlData(ControlData::Kind::EditBox, id);
  if (!data) return nullptr;
  data->text = Ref(look.text);
  data->background = Ref(look.background);
  data->brush = GdiObject(CreateSolidBrush(data->background));
  HWND box =
      CreateWindowExW(look.sunkenEdge ? WS_EX_CLIENTEDGE : 0, L"EDIT",
                      Wide(look.initialText).c_str(), flags, place.left, place.top, place.width,
                      place.height, Hwnd(parent), ChildId(style), Instance(), nullptr);
  if (!box) {
    delete data;
    return nullptr;
  }
  AttachData(box, data, EditBoxMessage);
  SendMessageW(box, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), FALSE);
  // The text line follows the font: recompute the frame now.
  SetWindowPos(box, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(box, EM_SETLIMITTEXT, static_cast<WPARAM>(look.maxLength), 0);
  SendMessageW(box, EM_SETSEL, static_cast<WPARAM>(look.selectionStart),
               static_cast<LPARAM>(look.selectionStart + look.selectionLength));
  SendMessageW(box, EM_SCROLLCARET, 0, 0);
  return Wrap(box);
}

char* EditBoxText(Handle box) {
  HWND hwnd = Hwnd(box);
  const int length = GetWindowTextLengthW(hwnd);
  if (length <= 0) return nullptr;
  auto* wide = static_cast<wchar_t*>(
      shell::AllocBlock((static_cast<std::size_t>(length) + 1) * sizeof(wchar_t)));
  const int got = GetWindowTextW(hwnd, wide, length + 1);
  // Lone surrogates become U+FFFD: UTF-8 cannot hold them.
  const int size =
      got > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, got, nullptr, 0, nullptr, nullptr) : 0;
  char* text = nullptr;
  if (size > 0) {
    text = static_cast<char*>(shell::AllocBlock(static_cast<std::size_t>(size) + 1));
    WideCharToMultiByte(CP_UTF8, 0, wide, got, text, size, nullptr, nullptr);
    text[size] = '\0';
  }
  shell::FreeBlock(wide);
  return text;
}

Handle CreateButton(Handle parent, ControlIdentity id, Rect place, ControlStyle style,
                    const char* caption) {
  auto* data = new (std::nothrow) ControlData(ControlData::Kind::Button, id);
  if (!data) return nullptr;
  HWND button = CreateWindowExW(0, L"BUTTON", Wide(caption).c_str(),
                                CommonStyle(style) | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER,
                                place.left, place.top, place.width, place.height, Hwnd(parent),
                                ChildId(style), Instance(), nullptr);
  if (!button) {
    delete data;
    return nullptr;
  }
  AttachData(button, data, nullptr);
  SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), FALSE);
  return Wrap(button);
}

Colour ButtonFaceColour() {
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  return {GetRValue(face), GetGValue(face), GetBValue(face)};
}

std::span<const std::uint8_t> SplashPictureBytes() {
  HRSRC found = FindResourceW(nullptr, L"SplashPicture", MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!found) return {};
  HGLOBAL loaded = LoadResource(nullptr, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return {};
  return {static_cast<const std::uint8_t*>(bytes), SizeofResource(nullptr, found)};
}

PixelBuffer AllocatePixels(int width, int height) {
  if (width <= 0 || height <= 0) return {};
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap || !bits) {
    if (bitmap) DeleteObject(bitmap);
    return {};
  }
  return {bitmap, static_cast<std::uint8_t*>(bits), width, height};
}

void ReleasePixels(PixelBuffer buffer) {
  if (buffer.owner) DeleteObject(static_cast<HBITMAP>(buffer.owner));
}

Handle CreatePicBox(Handle parent, ControlIdentity id, Rect place, ControlStyle style,
                    Colour background, PixelBuffer picture) {
  auto* data = new (std::nothrow) ControlData(ControlData::Kind::PicBox, id);
  if (!data) {
    ReleasePixels(picture);
    return nullptr;
  }
  data->background = Ref(background);
  data->brush = GdiObject(CreateSolidBrush(data->background));
  data->picture = picture;
  const wchar_t* cls = EnsureClass(L"QuorvelPicBox", PicBoxProcedure, 0, nullptr);
  HWND box =
      cls ? CreateWindowExW(0, cls, L"", CommonStyle(style), place.left, place.top, place.width,
                            place.height, Hwnd(parent), ChildId(style), Instance(), nullptr)
          : nullptr;
  if (!box) {
    delete data;
    ReleasePixels(picture);
    return nullptr;
  }
  AttachData(box, data, nullptr);
  return Wrap(box);
}

}  // namespace quorvel::platform
