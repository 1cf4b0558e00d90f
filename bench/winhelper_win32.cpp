// The benchmark's helper inside Wine:
//   winhelper memory NAME.exe  prints private_kb=, committed_private_kb= and working_set_kb=
//                              lines for every running process with that file name
//   winhelper offset           prints "offset=X,Y": where the client area of a fixed window with a
//                              caption starts inside its frame
//   winhelper hold             keeps Wine's desktop process alive, as a user's session has it,
//                              so no timed start pays for starting it; ends when killed
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wcscmp(argv[1], L"hold") == 0) {
    GetDesktopWindow();  // the first use of the desktop starts its process
    for (;;) Sleep(INFINITE);
  }
  if (argc == 2 && std::wcscmp(argv[1], L"offset") == 0) {
    RECT frame{0, 0, 100, 100};
    AdjustWindowRectEx(&frame, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, FALSE, 0);
    std::printf("offset=%ld,%ld\n", -frame.left, -frame.top);
    std::fflush(stdout);
    return 0;
  }
  if (argc != 3 || std::wcscmp(argv[1], L"memory") != 0) return 2;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 1;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int found = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (_wcsicmp(entry.szExeFile, argv[2]) != 0) continue;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                                 entry.th32ProcessID);
    if (process == nullptr) continue;
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters)) {
      // Wine leaves PrivateUsage at 0 for other processes: add up the committed private
      // regions instead, which is what the figure means.
      unsigned long long committed = 0;
      MEMORY_BASIC_INFORMATION region;
      for (char* at = nullptr;
           VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;
           at = static_cast<char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) committed += region.RegionSize;
      }
      std::printf("private_kb=%llu\ncommitted_private_kb=%llu\nworking_set_kb=%llu\n",
                  static_cast<unsigned long long>(counters.PrivateUsage / 1024), committed / 1024,
                  static_cast<unsigned long long>(counters.WorkingSetSize / 1024));
      ++found;
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  std::fflush(stdout);
  return found > 0 ? 0 : 1;
}
