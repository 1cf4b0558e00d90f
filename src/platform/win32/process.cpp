// Process services: heap, OLE, paths, the owner window, the message loop, the error box.
#include <float.h>
#include <ole2.h>

#include "platform/platform.h"
#include "platform/win32/common.h"
#include "shell/native_events.h"

namespace quorvel::win32 {

HINSTANCE Instance() {
  return GetModuleHandleW(nullptr);
}

std::wstring Wide(const char* text) {
  if (!text || !*text) return {};
  int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (length <= 1) return {};
  std::wstring result(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, result.data(), length);
  result.resize(static_cast<std::size_t>(length - 1));
  return result;
}

std::string Utf8(const wchar_t* text, int length) {
  if (!text || length <= 0) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), size, nullptr, nullptr);
  return result;
}

const wchar_t* EnsureClass(const wchar_t* name, WNDPROC procedure, UINT style, HBRUSH background) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(Instance(), name, &existing)) return name;
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof cls;
  cls.style = style;
  cls.lpfnWndProc = procedure;
  cls.hInstance = Instance();
  cls.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  cls.hbrBackground = background;
  cls.lpszClassName = name;
  return RegisterClassExW(&cls) ? name : nullptr;
}

namespace {

constexpr wchar_t kDataProperty[] = L"Quorvel.Control";
constexpr UINT_PTR kSubclassId = 0x51;

LRESULT CALLBACK ControlSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR extra) {
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, ControlSubclass, kSubclassId);
    auto* data = static_cast<ControlData*>(RemovePropW(window, kDataProperty));
    LRESULT result = DefSubclassProc(window, message, wParam, lParam);
    if (data) {
      platform::ReleasePixels(data->picture);
      const ControlIdentity id = data->id;
      delete data;
      shell::OnControlDestroyed(id);
    }
    return result;
  }
  auto kind = reinterpret_cast<KindProcedure>(extra);
  LRESULT result = 0;
  if (kind && Guarded(false, [&] { return kind(window, message, wParam, lParam, result); }))
    return result;
  return DefSubclassProc(window, message, wParam, lParam);
}

// Keys as the core knows them.
KeyPress Translate(const MSG& message) {
  KeyPress key;
  switch (message.wParam) {
    case VK_TAB:
      key.key = Key::Tab;
      break;
    case VK_RETURN:
      key.key = Key::Enter;
      break;
    case VK_ESCAPE:
      key.key = Key::Escape;
      break;
    case VK_F1:
      key.key = Key::F1;
      break;
    case VK_SPACE:
      key.key = Key::Space;
      break;
    default:
      key.key = (message.wParam >= 'A' && message.wParam <= 'Z') ? Key::Letter : Key::Other;
  }
  key.shift = GetKeyState(VK_SHIFT) < 0;
  key.ctrl = GetKeyState(VK_CONTROL) < 0;
  key.alt = (message.message == WM_SYSKEYDOWN && (message.lParam & (1 << 29))) ||
            GetKeyState(VK_MENU) < 0;
  return key;
}

void HandleMessage(MSG& message) {
  if ((message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) &&
      shell::OfferKey(Wrap(message.hwnd), Translate(message)))
    return;
  if (message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST &&
      EngineTranslateAccelerator(message))
    return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

LRESULT CALLBACK OwnerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

ControlData* DataOf(HWND window) {
  return window ? static_cast<ControlData*>(GetPropW(window, kDataProperty)) : nullptr;
}

void AttachData(HWND window, ControlData* data, KindProcedure kind) {
  SetPropW(window, kDataProperty, data);
  SetWindowSubclass(window, ControlSubclass, kSubclassId, reinterpret_cast<DWORD_PTR>(kind));
}

}  // namespace quorvel::win32

namespace quorvel::platform {

using namespace win32;

void* HeapAllocate(std::size_t size) {
  return ::HeapAlloc(GetProcessHeap(), 0, size);
}
void HeapRelease(void* block) {
  if (block) ::HeapFree(GetProcessHeap(), 0, block);
}

bool InitOle() {
  return SUCCEEDED(::OleInitialize(nullptr));
}
void UninitOle() {
  ::OleUninitialize();
}

std::string ProgramPath() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return Utf8(path, static_cast<int>(length));
}

char PathSeparator() {
  return '\\';
}

void SetCurrentFolder(const std::string& folder) {
  ::SetCurrentDirectoryW(Wide(folder.c_str()).c_str());
}

void SetFpuDefault() {
  _fpreset();
}

Handle CreateOwnerWindow() {
  const wchar_t* cls = EnsureClass(L"QuorvelOwner", OwnerProcedure, 0, nullptr);
  if (!cls) return nullptr;
  return Wrap(CreateWindowExW(WS_EX_TOOLWINDOW, cls, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              Instance(), nullptr));
}

void DestroyOwnerWindow(Handle owner) {
  if (owner) ::DestroyWindow(Hwnd(owner));
}

void ProcessPendingMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Leave the quit request for the loop that is waiting for it.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    HandleMessage(message);
  }
}

int RunMessageLoop() {
  MSG message;
  for (;;) {
    BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return -1;
    HandleMessage(message);
  }
}

void PostQuit(int code) {
  PostQuitMessage(code);
}

void ShowErrorBox(const char* text, const char* title) {
  MessageBoxW(nullptr, Wide(text).c_str(), Wide(title).c_str(), MB_ICONERROR | MB_OK);
}

void ExitProcess(int code) {
  ::ExitProcess(static_cast<UINT>(code));
}

}  // namespace quorvel::platform
