// The floor for the Windows start-up: a minimal static Win32 program that shows one window of
// the program's size and style and ends shortly after its first paint (the pause only lets the
// probe see the painted pixels before the window goes).
#include <windows.h>

namespace {

constexpr UINT_PTR kEndTimer = 1;

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      FillRect(dc, &paint.rcPaint, reinterpret_cast<HBRUSH>(GetClassLongPtrW(window, GCLP_HBRBACKGROUND)));
      EndPaint(window, &paint);
      SetTimer(window, kEndTimer, 500, nullptr);
      return 0;
    }
    case WM_TIMER:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, w, l);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  WNDCLASSW type{};
  type.lpfnWndProc = Procedure;
  type.hInstance = instance;
  type.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  type.hbrBackground = CreateSolidBrush(RGB(0, 128, 128));
  type.lpszClassName = L"QuorvelFloor";
  RegisterClassW(&type);
  HWND window = CreateWindowExW(0, type.lpszClassName, L"Quorvel解析播放",
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 50, 50,
                                1507, 728, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
