# MinGW-w64 for x86-64.
set(QUORVEL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Wine's own 64-bit loader: the `wine` command relaunches through the 32-bit one, which not
# every kernel can run.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
