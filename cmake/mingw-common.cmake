# Shared by both MinGW toolchain files; QUORVEL_MINGW_TRIPLE names the target.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${QUORVEL_MINGW_TRIPLE})
set(CMAKE_C_COMPILER ${QUORVEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORVEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORVEL_MINGW_TRIPLE}-windres)

# libpng is built from Debian's source by scripts/setup.sh into the build tree; zlib is
# Debian's libz-mingw-w64-dev.
get_filename_component(_quorvel_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(QUORVEL_MINGW_DEPS ${_quorvel_root}/build/deps/${QUORVEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH ${QUORVEL_MINGW_DEPS} /usr/${QUORVEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ZLIB_USE_STATIC_LIBS ON) # libz.a, not the import library of zlib1.dll

# One static file with nothing beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
