// A small Win32 test robot. It runs inside the same Wine prefix as the program under test and
// drives it from outside, as a user and an onlooker would: it starts the program, looks at its
// windows and pixels, moves the mouse and presses keys. It never talks to the program in any
// private way.
//
// It reads one command per line from standard input and answers one line per command:
// "ok ..." or "error ...". Texts travel hex-encoded so that no quoting is needed: as UTF-8, except
// what is typed or pasted, which travels as UTF-16LE so that it can hold any code unit (a lone
// surrogate among them).
#include <png.h>
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::wstring g_desktop;

// ---- Texts --------------------------------------------------------------------------------

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out.empty() ? "-" : out;
}

std::string Unhex(const std::string& hex) {
  if (hex == "-") return {};
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring WideUnhex(const std::string& hex) {
  std::string bytes = Unhex(hex);
  std::wstring out(bytes.size() / 2, L'\0');
  memcpy(out.data(), bytes.data(), out.size() * sizeof(wchar_t));
  return out;
}

std::string WindowText(HWND window) {
  wchar_t buffer[1024];
  int n = GetWindowTextW(window, buffer, 1024);
  return Utf8(std::wstring(buffer, static_cast<std::size_t>(n > 0 ? n : 0)));
}

std::string ClassOf(HWND window) {
  wchar_t buffer[256];
  int n = GetClassNameW(window, buffer, 256);
  return Utf8(std::wstring(buffer, static_cast<std::size_t>(n > 0 ? n : 0)));
}

// ---- Processes ----------------------------------------------------------------------------

struct Started {
  PROCESS_INFORMATION info{};
};
std::vector<Started> g_started;

std::wstring Quote(const std::wstring& arg) {
  std::wstring out = L"\"";
  for (wchar_t c : arg) {
    if (c == L'"') out += L'\\';
    out += c;
  }
  return out + L"\"";
}

// launch CWD EXE [ARG]...: all hex; an empty CWD ("-") keeps ours.
std::string Launch(std::istringstream& in) {
  std::string cwd, exe, item;
  in >> cwd >> exe;
  std::wstring command = Quote(Wide(Unhex(exe)));
  while (in >> item) command += L" " + Quote(Wide(Unhex(item)));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.lpDesktop = g_desktop.data();
  Started started;
  std::wstring folder = Wide(Unhex(cwd));
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &started.info))
    return "error CreateProcess " + std::to_string(GetLastError());
  g_started.push_back(started);
  return "ok " + std::to_string(g_started.size() - 1) + " " +
         std::to_string(started.info.dwProcessId);
}

Started* Process(std::istringstream& in) {
  std::size_t index = 0;
  in >> index;
  return index < g_started.size() ? &g_started[index] : nullptr;
}

std::string Wait(std::istringstream& in) {
  Started* p = Process(in);
  int ms = 0;
  in >> ms;
  if (!p) return "error no such process";
  if (WaitForSingleObject(p->info.hProcess, static_cast<DWORD>(ms)) != WAIT_OBJECT_0)
    return "ok running";
  DWORD code = 0;
  GetExitCodeProcess(p->info.hProcess, &code);
  return "ok exited " + std::to_string(code);
}

std::string Kill(std::istringstream& in) {
  Started* p = Process(in);
  if (!p) return "error no such process";
  TerminateProcess(p->info.hProcess, 99);
  WaitForSingleObject(p->info.hProcess, 5000);
  return "ok";
}

// The process's current directory, read from its process parameters.
std::string CurrentDirectoryOf(std::istringstream& in) {
  Started* p = Process(in);
  if (!p) return "error no such process";
  PROCESS_BASIC_INFORMATION basic{};
  ULONG got = 0;
  if (NtQueryInformationProcess(p->info.hProcess, ProcessBasicInformation, &basic, sizeof basic,
                                &got) != 0)
    return "error NtQueryInformationProcess";
  PEB peb{};
  RTL_USER_PROCESS_PARAMETERS params{};
  SIZE_T read = 0;
  if (!ReadProcessMemory(p->info.hProcess, basic.PebBaseAddress, &peb, sizeof peb, &read) ||
      !ReadProcessMemory(p->info.hProcess, peb.ProcessParameters, &params, sizeof params, &read))
    return "error ReadProcessMemory " + std::to_string(GetLastError());
  // CurrentDirectory follows the reserved fields: MaximumLength, Length, Flags, DebugFlags,
  // ConsoleHandle, ConsoleFlags, the three standard handles, then CURDIR {DosPath, Handle}.
  struct Curdir {
    UNICODE_STRING path;
    HANDLE handle;
  };
  const char* base = reinterpret_cast<const char*>(&params);
  std::size_t offset = 2 * sizeof(ULONG) + 2 * sizeof(ULONG) + sizeof(HANDLE) + sizeof(ULONG) +
                       (sizeof(void*) == 8 ? 4 : 0) + 3 * sizeof(HANDLE);
  Curdir curdir;
  memcpy(&curdir, base + offset, sizeof curdir);
  std::wstring path(curdir.path.Length / sizeof(wchar_t), L'\0');
  if (!ReadProcessMemory(p->info.hProcess, curdir.path.Buffer, path.data(), curdir.path.Length,
                         &read))
    return "error ReadProcessMemory path";
  return "ok " + Hex(Utf8(path));
}

// override EXENAMEHEX DLL VALUE|-: Wine's load order of DLL for programs of that file name
// (an empty VALUE, "-", disables the DLL); "clear" as DLL removes the program's overrides.
std::string Override(std::istringstream& in) {
  std::string exe, dll, value;
  in >> exe >> dll >> value;
  std::wstring key = L"Software\\Wine\\AppDefaults\\" + Wide(Unhex(exe));
  if (dll == "clear") {
    LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? "ok" : "error RegDeleteTree";
  }
  std::wstring data = value == "-" ? L"" : Wide(value);
  LSTATUS status = RegSetKeyValueW(HKEY_CURRENT_USER, (key + L"\\DllOverrides").c_str(),
                                   Wide(dll).c_str(), REG_SZ, data.c_str(),
                                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  return status == ERROR_SUCCESS ? "ok" : "error RegSetKeyValue " + std::to_string(status);
}

// ---- Windows ------------------------------------------------------------------------------

struct Found {
  DWORD pid;
  std::vector<HWND> windows;
  bool visibleOnly;
};

BOOL CALLBACK CollectWindow(HWND w, LPARAM l) {
  auto* f = reinterpret_cast<Found*>(l);
  DWORD owner = 0;
  GetWindowThreadProcessId(w, &owner);
  if (owner == f->pid && (!f->visibleOnly || IsWindowVisible(w))) f->windows.push_back(w);
  return TRUE;
}

std::vector<HWND> TopWindowsOf(DWORD pid, bool visibleOnly) {
  Found found{pid, {}, visibleOnly};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&found));
  return found.windows;
}

// The program's main window: its visible top-level window that is not a message box.
HWND MainWindowOf(Started* p) {
  for (HWND w : TopWindowsOf(p->info.dwProcessId, true))
    if (ClassOf(w) != "#32770") return w;
  return nullptr;
}

// The GDI objects a process holds, counted in its GDI handle table, which the PEB points to
// (as on Windows, where tools count another process's objects the same way). Each entry is
// {UINT64 object; ULONG owner; USHORT unique; UCHAR type; UCHAR flags; UINT64 user}; the layout
// is checked against an object of our own first, and -1 says the table cannot be read.
struct GdiEntry {
  UINT64 object;
  ULONG owner;
  USHORT unique;
  UCHAR type;
  UCHAR flags;
  UINT64 user;
};
constexpr std::size_t kGdiEntries = 0x10000;
constexpr std::size_t kPebGdiTable = sizeof(void*) == 8 ? 0xF8 : 0x94;

std::vector<GdiEntry> GdiTableOf(HANDLE process) {
  PROCESS_BASIC_INFORMATION basic{};
  ULONG got = 0;
  if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, &got))
    return {};
  void* table = nullptr;
  SIZE_T read = 0;
  const char* peb = reinterpret_cast<const char*>(basic.PebBaseAddress);
  if (!ReadProcessMemory(process, peb + kPebGdiTable, &table, sizeof table, &read) || !table)
    return {};
  std::vector<GdiEntry> entries(kGdiEntries);
  if (!ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(GdiEntry), &read))
    return {};
  return entries;
}

bool GdiLayoutKnown() {
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  std::vector<GdiEntry> mine = GdiTableOf(GetCurrentProcess());
  auto handle = reinterpret_cast<UINT_PTR>(brush);
  bool known = !mine.empty() && mine[handle & 0xFFFF].unique == ((handle >> 16) & 0xFFFF) &&
               mine[handle & 0xFFFF].type == ((handle >> 16) & 0x1F);
  DeleteObject(brush);
  return known;
}

long GdiObjectsOf(HANDLE process) {
  static const bool known = GdiLayoutKnown();
  std::vector<GdiEntry> entries = known ? GdiTableOf(process) : std::vector<GdiEntry>{};
  if (entries.empty()) return -1;
  return static_cast<long>(std::count_if(entries.begin(), entries.end(),
                                         [](const GdiEntry& e) { return e.type != 0; }));
}

// Windows are the USER objects another process can see: top-level, message-only and children.
BOOL CALLBACK CountChild(HWND, LPARAM l) {
  ++*reinterpret_cast<long*>(l);
  return TRUE;
}

long WindowsOf(DWORD pid) {
  Found found{pid, {}, false};
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&found));
  for (HWND w = nullptr; (w = FindWindowExW(HWND_MESSAGE, w, nullptr, nullptr));) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == pid) found.windows.push_back(w);
  }
  long count = static_cast<long>(found.windows.size());
  for (HWND w : found.windows) EnumChildWindows(w, CountChild, reinterpret_cast<LPARAM>(&count));
  return count;
}

// usage IDX: what the process holds, as a task manager would show it: GDI and USER objects by
// GetGuiResources (which some systems do not fill in: 0), GDI objects by its handle table,
// its windows.
std::string Usage(std::istringstream& in) {
  Started* p = Process(in);
  if (!p) return "error no such process";
  return "ok gdi " + std::to_string(GetGuiResources(p->info.hProcess, GR_GDIOBJECTS)) + " user " +
         std::to_string(GetGuiResources(p->info.hProcess, GR_USEROBJECTS)) + " gditable " +
         std::to_string(GdiObjectsOf(p->info.hProcess)) + " windows " +
         std::to_string(WindowsOf(p->info.dwProcessId));
}

HWND g_target = nullptr;  // the window the coordinate commands are about

// Waits until the target's thread has handled `messages` input messages queued before: a
// thread answers a sent message only between two messages it takes from its queue, so each
// answered WM_NULL means one more queued message was dealt with. A thread busy in the web
// engine may hold a sent message back for a while; then a short pause has to do.
void Settle(std::size_t messages = 2) {
  Sleep(20);
  if (!g_target) return;
  for (std::size_t i = 0; i < messages + 2 && i < 64; ++i) {
    DWORD_PTR ignored;
    if (!SendMessageTimeoutW(g_target, WM_NULL, 0, 0, SMTO_NORMAL, 250, &ignored)) break;
  }
  Sleep(20);
}

// window IDX MS: waits until the process shows its main window; it becomes the target.
std::string WaitWindow(std::istringstream& in) {
  Started* p = Process(in);
  int ms = 0;
  in >> ms;
  if (!p) return "error no such process";
  DWORD until = GetTickCount() + static_cast<DWORD>(ms);
  do {
    if (HWND w = MainWindowOf(p)) {
      g_target = w;
      Settle();  // done starting: shown, activated, focused
      return "ok " + std::to_string(reinterpret_cast<UINT_PTR>(w));
    }
    if (WaitForSingleObject(p->info.hProcess, 50) == WAIT_OBJECT_0) return "error exited";
  } while (GetTickCount() < until);
  return "error no window";
}

std::string Info() {
  if (!g_target) return "error no target";
  RECT frame;
  GetWindowRect(g_target, &frame);
  POINT origin{0, 0};
  ClientToScreen(g_target, &origin);
  RECT client;
  GetClientRect(g_target, &client);
  LONG style = GetWindowLongW(g_target, GWL_STYLE);
  std::ostringstream out;
  out << "ok frame " << frame.left << " " << frame.top << " " << frame.right - frame.left << " "
      << frame.bottom - frame.top << " client " << origin.x << " " << origin.y << " "
      << client.right << " " << client.bottom << " style " << std::hex << style << std::dec
      << " exstyle " << std::hex << GetWindowLongW(g_target, GWL_EXSTYLE) << std::dec << " title "
      << Hex(WindowText(g_target)) << " screen " << GetSystemMetrics(SM_CXSCREEN) << " "
      << GetSystemMetrics(SM_CYSCREEN);
  return out.str();
}

// Children of the target, one "id class visible left top width height" group each, in
// stacking order from the top.
std::string Children() {
  if (!g_target) return "error no target";
  std::ostringstream out;
  out << "ok";
  for (HWND c = GetWindow(g_target, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, g_target, reinterpret_cast<POINT*>(&r), 2);
    out << " " << GetDlgCtrlID(c) << ":" << Hex(ClassOf(c)) << ":" << (IsWindowVisible(c) ? 1 : 0)
        << ":" << r.left << ":" << r.top << ":" << r.right - r.left << ":" << r.bottom - r.top
        << ":" << std::hex << GetWindowLongW(c, GWL_STYLE) << ":" << GetWindowLongW(c, GWL_EXSTYLE)
        << std::dec;
  }
  return out.str();
}

// text ID: the text a child of the target holds, as UTF-16LE, as an accessibility tool reads it.
std::string ChildText(std::istringstream& in) {
  if (!g_target) return "error no target";
  int id = 0;
  in >> id;
  HWND child = GetDlgItem(g_target, id);
  if (!child) return "error no such child";
  // GetWindowText would answer with another process's caption, not what its box holds.
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(child, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &length))
    return "error no answer";
  std::wstring text(length + 1, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(child, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_NORMAL, 10000, &got))
    return "error no answer";
  text.resize(got);
  std::string bytes(text.size() * sizeof(wchar_t), '\0');
  memcpy(bytes.data(), text.data(), bytes.size());
  return "ok " + Hex(bytes);
}

// The focused window of the target's thread, named by the target's child that holds it and by
// how deep below that child it lies.
std::string Focus() {
  if (!g_target) return "error no target";
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(g_target, nullptr), &info))
    return "error GetGUIThreadInfo";
  HWND w = info.hwndFocus;
  if (!w) return "ok none";
  if (w == g_target) return "ok window 0";
  int depth = 0;
  while (w && GetParent(w) != g_target) {
    w = GetParent(w);
    ++depth;
  }
  if (!w) return "ok outside";
  return "ok " + std::to_string(GetDlgCtrlID(w)) + " " + std::to_string(depth) + " active " +
         std::to_string(info.hwndActive == g_target ? 1 : 0);
}

// ---- Screen -------------------------------------------------------------------------------

// The screen's pixels of a rectangle in the target's client coordinates, as 0xRRGGBB.
std::vector<DWORD> Capture(int left, int top, int width, int height) {
  POINT origin{0, 0};
  ClientToScreen(g_target, &origin);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, origin.x + left, origin.y + top, SRCCOPY);
  GdiFlush();
  std::vector<DWORD> pixels(static_cast<const DWORD*>(bits),
                            static_cast<const DWORD*>(bits) + width * height);
  for (DWORD& p : pixels) p &= 0xFFFFFF;
  SelectObject(memory, old);
  DeleteDC(memory);
  DeleteObject(bitmap);
  ReleaseDC(nullptr, screen);
  return pixels;
}

std::string Rgb(DWORD p) {
  char buffer[8];
  snprintf(buffer, sizeof buffer, "%06lx", static_cast<unsigned long>(p));
  return buffer;
}

// colours L T W H: the distinct colours of a client rectangle, most frequent first (at most 4).
std::string Colours(std::istringstream& in) {
  if (!g_target) return "error no target";
  int l, t, w, h;
  in >> l >> t >> w >> h;
  std::map<DWORD, long> counts;
  for (DWORD p : Capture(l, t, w, h)) ++counts[p];
  std::vector<std::pair<long, DWORD>> sorted;
  for (auto [colour, n] : counts) sorted.push_back({-n, colour});
  std::sort(sorted.begin(), sorted.end());
  std::ostringstream out;
  out << "ok " << counts.size();
  for (std::size_t i = 0; i < sorted.size() && i < 4; ++i)
    out << " " << Rgb(sorted[i].second) << ":" << -sorted[i].first;
  return out.str();
}

// splash PNGHEX W H: compares the client's top-left W x H with the decoded picture, composed
// over the button-face colour as the picture box would.
std::string Splash(std::istringstream& in) {
  if (!g_target) return "error no target";
  std::string path;
  int w, h;
  in >> path >> w >> h;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  std::string file = Unhex(path);
  if (!png_image_begin_read_from_file(&image, file.c_str())) return "error png " + file;
  image.format = PNG_FORMAT_BGRA;
  std::vector<unsigned char> decoded(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, decoded.data(), 0, nullptr))
    return "error png decode";
  if (static_cast<int>(image.width) < w || static_cast<int>(image.height) < h)
    return "error png too small";
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  int bg[3] = {GetBValue(face), GetGValue(face), GetRValue(face)};
  std::vector<DWORD> screen = Capture(0, 0, w, h);
  long wrong = 0;
  std::string first;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = &decoded[(static_cast<std::size_t>(y) * image.width + x) * 4];
      int c[3];
      for (int i = 0; i < 3; ++i) {
        float a = p[3] * 0.003921569f;
        int v = p[3] == 255 ? p[i] : static_cast<int>(p[i] * a + bg[i] * (1 - a));
        c[i] = v < 0 ? 0 : v > 255 ? 255 : v;
      }
      DWORD want = static_cast<DWORD>(c[2] << 16 | c[1] << 8 | c[0]);
      DWORD got = screen[static_cast<std::size_t>(y) * w + x];
      if (want != got && wrong++ == 0)
        first =
            std::to_string(x) + "," + std::to_string(y) + " want " + Rgb(want) + " got " + Rgb(got);
    }
  }
  return "ok " + std::to_string(wrong) + (first.empty() ? "" : " " + first);
}

// ---- Icons and resources ----------------------------------------------------------------

// An icon's pixels (0xRRGGBB, or 0xFF000000 where its mask makes it transparent), size x size.
std::vector<DWORD> IconPixels(HICON icon, int size) {
  std::vector<DWORD> colour(static_cast<std::size_t>(size) * size), mask(colour.size());
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size;
  info.bmiHeader.biHeight = -size;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  for (int pass = 0; pass < 2; ++pass) {
    DrawIconEx(memory, 0, 0, icon, size, size, 0, nullptr, pass == 0 ? DI_NORMAL : DI_MASK);
    GdiFlush();
    memcpy(pass == 0 ? colour.data() : mask.data(), bits, colour.size() * 4);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  for (std::size_t i = 0; i < colour.size(); ++i)
    colour[i] = (mask[i] & 0xFFFFFF) ? 0xFF000000 : (colour[i] & 0xFFFFFF);
  return colour;
}

HICON IconFromFile(const std::string& path, int size) {
  return static_cast<HICON>(
      LoadImageW(nullptr, Wide(path).c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE));
}

// fileicon EXEHEX ICOHEX: whether the exe's own icon (what a shell shows) is the .ico, by size.
std::string FileIcon(std::istringstream& in) {
  std::string exe, ico;
  in >> exe >> ico;
  std::ostringstream out;
  out << "ok";
  for (int size : {16, 32, 48}) {
    HICON mine = nullptr;
    UINT id = 0;
    PrivateExtractIconsW(Wide(Unhex(exe)).c_str(), 0, size, size, &mine, &id, 1, 0);
    HICON want = IconFromFile(Unhex(ico), size);
    bool same = mine && want && IconPixels(mine, size) == IconPixels(want, size);
    out << " " << size << ":" << (same ? 1 : 0);
    if (mine) DestroyIcon(mine);
    if (want) DestroyIcon(want);
  }
  return out.str();
}

// captionicon ICOHEX: whether the .ico's 16x16 image shows in the target's title bar.
std::string CaptionIcon(std::istringstream& in) {
  if (!g_target) return "error no target";
  std::string ico;
  in >> ico;
  HICON want = IconFromFile(Unhex(ico), 16);
  if (!want) return "error cannot load icon";
  std::vector<DWORD> icon = IconPixels(want, 16);
  DestroyIcon(want);
  RECT frame;
  GetWindowRect(g_target, &frame);
  POINT origin{0, 0};
  ClientToScreen(g_target, &origin);
  // The caption lies between the frame's top and the client's top.
  int left = frame.left - origin.x, top = frame.top - origin.y;
  int width = 64, height = origin.y - frame.top;
  std::vector<DWORD> caption = Capture(left, top, width, height);
  for (int y = 0; y + 16 <= height; ++y) {
    for (int x = 0; x + 16 <= width; ++x) {
      bool match = true;
      for (int i = 0; i < 256 && match; ++i) {
        DWORD want = icon[static_cast<std::size_t>(i)];
        if (want != 0xFF000000 &&
            caption[static_cast<std::size_t>(y + i / 16) * width + x + i % 16] != want)
          match = false;
      }
      if (match) return "ok found " + std::to_string(x) + " " + std::to_string(y);
    }
  }
  return "ok missing";
}

// resources EXEHEX PNGHEX: the exe's manifest (hex), whether its SplashPicture is the PNG file
// byte for byte, and whether it has a version resource and the DEFAULT_ICON group.
std::string Resources(std::istringstream& in) {
  std::string exe, png;
  in >> exe >> png;
  HMODULE module = LoadLibraryExW(Wide(Unhex(exe)).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return "error cannot load " + Unhex(exe);
  auto bytes = [&](const wchar_t* name, const wchar_t* type) {
    HRSRC found = FindResourceW(module, name, type);
    if (!found) return std::string("\x01missing");
    const char* p = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return std::string(p, SizeofResource(module, found));
  };
  std::string manifest = bytes(MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  std::string splash = bytes(L"SplashPicture", MAKEINTRESOURCEW(10));
  bool version = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)) != nullptr;
  bool icon = FindResourceW(module, L"DEFAULT_ICON", MAKEINTRESOURCEW(14)) != nullptr;
  FreeLibrary(module);
  FILE* file = _wfopen(Wide(Unhex(png)).c_str(), L"rb");
  std::string want;
  if (file) {
    char buffer[65536];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) want.append(buffer, n);
    fclose(file);
  }
  return "ok splash " + std::string(!want.empty() && splash == want ? "1" : "0") + " version " +
         (version ? "1" : "0") + " icon " + (icon ? "1" : "0") + " manifest " + Hex(manifest);
}

// acp HEX: the text in the system's ANSI code page, as a browser engine may send it.
std::string Acp(std::istringstream& in) {
  std::string hex;
  in >> hex;
  std::wstring text = Wide(Unhex(hex));
  if (text.empty()) return "ok -";
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                      nullptr);
  return "ok " + Hex(out);
}

// ---- Input --------------------------------------------------------------------------------

void SendKeys(std::vector<INPUT> inputs) {
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  Settle(inputs.size());
}

INPUT KeyInput(WORD vk, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

// key NAME: NAME is a chord such as tab, shift+tab, alt+f4, ctrl+v, esc, enter, space, up.
std::string Key(std::istringstream& in) {
  std::string chord;
  in >> chord;
  static const std::map<std::string, WORD> names = {
      {"tab", VK_TAB},      {"esc", VK_ESCAPE}, {"enter", VK_RETURN}, {"space", VK_SPACE},
      {"f4", VK_F4},        {"up", VK_UP},      {"down", VK_DOWN},    {"shift", VK_SHIFT},
      {"ctrl", VK_CONTROL}, {"alt", VK_MENU},   {"v", 'V'},           {"a", 'A'},
      {"c", 'C'},           {"home", VK_HOME},  {"end", VK_END},      {"del", VK_DELETE}};
  std::vector<WORD> keys;
  std::stringstream parts(chord);
  std::string part;
  while (std::getline(parts, part, '+')) {
    auto it = names.find(part);
    if (it == names.end()) return "error unknown key " + part;
    keys.push_back(it->second);
  }
  std::vector<INPUT> inputs;
  for (WORD k : keys) inputs.push_back(KeyInput(k, false));
  for (auto it = keys.rbegin(); it != keys.rend(); ++it) inputs.push_back(KeyInput(*it, true));
  SendKeys(inputs);
  return "ok";
}

// type HEX: types the text (UTF-16LE) code unit by code unit as Unicode key strokes.
std::string Type(std::istringstream& in) {
  std::string hex;
  in >> hex;
  std::wstring text = WideUnhex(hex);
  std::vector<INPUT> inputs;
  for (wchar_t c : text) {
    for (bool up : {false, true}) {
      INPUT input{};
      input.type = INPUT_KEYBOARD;
      input.ki.wScan = c;
      input.ki.dwFlags = KEYEVENTF_UNICODE | (up ? KEYEVENTF_KEYUP : 0);
      inputs.push_back(input);
    }
  }
  SendKeys(inputs);
  return "ok";
}

// clip HEX: puts the text (UTF-16LE) on the clipboard, to be pasted with ctrl+v.
std::string Clip(std::istringstream& in) {
  std::string hex;
  in >> hex;
  std::wstring text = WideUnhex(hex);
  if (!OpenClipboard(nullptr)) return "error OpenClipboard";
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  auto* p = static_cast<wchar_t*>(GlobalLock(memory));
  memcpy(p, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  GlobalUnlock(memory);
  SetClipboardData(CF_UNICODETEXT, memory);
  CloseClipboard();
  return "ok";
}

// Mouse events carry their own absolute position, so none lands where an earlier one was.
INPUT MouseInput(POINT screen, DWORD flags) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  return input;
}

void MouseAt(POINT screen, DWORD flags) {
  INPUT input = MouseInput(screen, flags);
  SendInput(1, &input, sizeof input);
  Settle(1);
}

void ClickAt(POINT screen) {
  MouseAt(screen, 0);
  MouseAt(screen, MOUSEEVENTF_LEFTDOWN);
  MouseAt(screen, MOUSEEVENTF_LEFTUP);
}

// mouse ACTION X Y: move, down, up or click at client coordinates of the target.
std::string Mouse(std::istringstream& in) {
  if (!g_target) return "error no target";
  std::string action;
  POINT at;
  in >> action >> at.x >> at.y;
  ClientToScreen(g_target, &at);
  if (action == "move")
    MouseAt(at, 0);
  else if (action == "down")
    MouseAt(at, MOUSEEVENTF_LEFTDOWN);
  else if (action == "up")
    MouseAt(at, MOUSEEVENTF_LEFTUP);
  else if (action == "click")
    ClickAt(at);
  else if (action == "double") {
    ClickAt(at);
    ClickAt(at);
  } else
    return "error unknown mouse action " + action;
  return "ok";
}

// One click as a single batch of input, settled once: the soak's clicks, thousands of them.
void QuickClickAt(POINT screen) {
  INPUT inputs[] = {MouseInput(screen, 0), MouseInput(screen, MOUSEEVENTF_LEFTDOWN),
                    MouseInput(screen, MOUSEEVENTF_LEFTUP)};
  SendInput(3, inputs, sizeof(INPUT));
  Settle(3);
}

// Waits until the client's top-left corner shows (or, with `shown` false, no longer shows) the
// pixels of `picture`.
bool CornerBecomes(const std::vector<DWORD>& picture, bool shown, DWORD ms) {
  DWORD until = GetTickCount() + ms;
  do {
    if ((Capture(0, 0, 16, 16) == picture) == shown) return true;
    Sleep(2);
  } while (GetTickCount() < until);
  return false;
}

// cycles N LX LY RX RY: N rounds of a click at (LX, LY), which must hide the picture in the
// client's top-left corner, and a click at (RX, RY), which must bring it back.
std::string Cycles(std::istringstream& in) {
  if (!g_target) return "error no target";
  long n = 0;
  POINT launch, back;
  in >> n >> launch.x >> launch.y >> back.x >> back.y;
  ClientToScreen(g_target, &launch);
  ClientToScreen(g_target, &back);
  std::vector<DWORD> picture = Capture(0, 0, 16, 16);
  DWORD began = GetTickCount();
  for (long i = 1; i <= n; ++i) {
    QuickClickAt(launch);
    if (!CornerBecomes(picture, false, 20000))
      return "error cycle " + std::to_string(i) + ": the picture stayed";
    QuickClickAt(back);
    if (!CornerBecomes(picture, true, 20000))
      return "error cycle " + std::to_string(i) + ": the picture did not come back";
  }
  return "ok " + std::to_string(n) + " " + std::to_string(GetTickCount() - began);
}

// closebox look|click: finds the close button by hit-testing the title bar from the right;
// "click" then clicks it.
std::string CloseBox(std::istringstream& in) {
  if (!g_target) return "error no target";
  std::string mode;
  in >> mode;
  RECT frame;
  GetWindowRect(g_target, &frame);
  int y = frame.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
  int closeX = -1;
  for (int x = frame.right - 1; x > frame.left; --x) {
    DWORD_PTR hit = 0;
    SendMessageTimeoutW(g_target, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 2000, &hit);
    if (hit == HTCLOSE && closeX < 0) closeX = x;
  }
  std::string seen = std::string(" close ") + (closeX >= 0 ? "1" : "0");
  if (mode == "click" && closeX >= 0) ClickAt({closeX - 4, y});
  return "ok" + seen;
}

// boxes IDX: the process's message boxes: count, and title and text of the first.
std::string Boxes(std::istringstream& in) {
  Started* p = Process(in);
  if (!p) return "error no such process";
  int count = 0;
  std::string title, text;
  for (HWND w : TopWindowsOf(p->info.dwProcessId, true)) {
    if (ClassOf(w) != "#32770") continue;
    if (count++ == 0) {
      title = WindowText(w);
      for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (ClassOf(c) == "Static" && !WindowText(c).empty()) text = WindowText(c);
      }
    }
  }
  return "ok " + std::to_string(count) + " " + Hex(title) + " " + Hex(text);
}

// okbox IDX: clicks the OK button of the process's message box.
std::string OkBox(std::istringstream& in) {
  Started* p = Process(in);
  if (!p) return "error no such process";
  for (HWND w : TopWindowsOf(p->info.dwProcessId, true)) {
    if (ClassOf(w) != "#32770") continue;
    HWND ok = GetDlgItem(w, IDOK);
    if (!ok) return "error no OK button";
    // A click on the program's window may have raised it over the box: a user brings the box
    // back first.
    SetForegroundWindow(w);
    Sleep(200);
    RECT r;
    GetWindowRect(ok, &r);
    ClickAt({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
    return "ok";
  }
  return "error no message box";
}

// watch IDX MS: until the process shows a message box or exits, notes whether any other
// top-level window of it became visible.
std::string Watch(std::istringstream& in) {
  Started* p = Process(in);
  int ms = 0;
  in >> ms;
  if (!p) return "error no such process";
  DWORD until = GetTickCount() + static_cast<DWORD>(ms);
  bool other = false, box = false;
  while (GetTickCount() < until) {
    for (HWND w : TopWindowsOf(p->info.dwProcessId, true)) {
      if (ClassOf(w) == "#32770")
        box = true;
      else
        other = true;
    }
    if (box || WaitForSingleObject(p->info.hProcess, 0) == WAIT_OBJECT_0) break;
    Sleep(10);
  }
  return std::string("ok box ") + (box ? "1" : "0") + " other " + (other ? "1" : "0");
}

std::string Run(const std::string& line) {
  std::istringstream in(line);
  std::string command;
  in >> command;
  if (command == "launch") return Launch(in);
  if (command == "wait") return Wait(in);
  if (command == "kill") return Kill(in);
  if (command == "cwd") return CurrentDirectoryOf(in);
  if (command == "override") return Override(in);
  if (command == "usage") return Usage(in);
  if (command == "window") return WaitWindow(in);
  if (command == "info") return Info();
  if (command == "children") return Children();
  if (command == "text") return ChildText(in);
  if (command == "focus") return Focus();
  if (command == "colours") return Colours(in);
  if (command == "splash") return Splash(in);
  if (command == "fileicon") return FileIcon(in);
  if (command == "captionicon") return CaptionIcon(in);
  if (command == "resources") return Resources(in);
  if (command == "acp") return Acp(in);
  if (command == "key") return Key(in);
  if (command == "type") return Type(in);
  if (command == "clip") return Clip(in);
  if (command == "mouse") return Mouse(in);
  if (command == "closebox") return CloseBox(in);
  if (command == "cycles") return Cycles(in);
  if (command == "boxes") return Boxes(in);
  if (command == "okbox") return OkBox(in);
  if (command == "watch") return Watch(in);
  if (command == "sleep") {
    int ms = 0;
    in >> ms;
    Sleep(static_cast<DWORD>(ms));
    return "ok";
  }
  if (command == "endsession") {  // what the system asks every window before a log-off
    if (!g_target) return "error no target";
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(g_target, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 10000,
                             &answer))
      return "error no answer";
    return "ok " + std::to_string(answer ? 1 : 0);
  }
  if (command == "facecolour") return "ok " + Rgb(GetSysColor(COLOR_BTNFACE) & 0xFFFFFF);
  return "error unknown command " + command;
}

}  // namespace

// robot DESKTOP: works on the named desktop (its size comes from the prefix's registry).
int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  g_desktop = argv[1];
  HDESK desktop = CreateDesktopW(argv[1], nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  if (!desktop || !SetThreadDesktop(desktop)) return 3;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  std::string pending;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    pending.append(buffer, got);
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line == "quit") return 0;
      std::string answer;
      try {
        answer = Run(line);
      } catch (const std::exception& e) {
        answer = std::string("error ") + e.what();
      }
      answer += "\n";
      DWORD written = 0;
      WriteFile(output, answer.data(), static_cast<DWORD>(answer.size()), &written, nullptr);
    }
  }
  return 0;
}
