#!/usr/bin/env bash
# Builds a static libpng for one MinGW-w64 target from an unpacked libpng source tree, against
# Debian's MinGW zlib (libz-mingw-w64-dev), and installs it into PREFIX (include/, lib/).
# scripts/setup.sh calls this; a change to this file makes setup.sh rebuild.
# Usage: build-libpng-mingw.sh SOURCE_DIR TRIPLE PREFIX BUILD_DIR
set -euo pipefail

if (($# != 4)); then
  echo "usage: $0 SOURCE_DIR TRIPLE PREFIX BUILD_DIR" >&2
  exit 2
fi
src=$1 triple=$2 prefix=$3 build=$4

case $triple in
  # The same float code generation as the program's own i686 build.
  i686-w64-mingw32) processor=i686 cflags="-msse2 -mfpmath=sse" ;;
  x86_64-w64-mingw32) processor=x86_64 cflags="" ;;
  *)
    echo "build-libpng-mingw: unknown target $triple" >&2
    exit 2
    ;;
esac

zlib=/usr/$triple
for f in "$zlib/include/zlib.h" "$zlib/lib/libz.a" "$src/CMakeLists.txt"; do
  if [[ ! -f $f ]]; then
    echo "build-libpng-mingw: missing $f" >&2
    exit 1
  fi
done

# Installed through a staging folder, so PREFIX never holds half an install; DESTDIR keeps
# the final prefix in the generated libpng.pc and libpng-config.
stage=$prefix.staging
rm -rf "$build" "$stage"

# PNG_EXECUTABLES / PNG_TOOLS: older and newer names of the same switch.
cmake -S "$src" -B "$build" -G Ninja --no-warn-unused-cli -Wno-dev \
  -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_SYSTEM_NAME=Windows \
  -DCMAKE_SYSTEM_PROCESSOR="$processor" \
  -DCMAKE_C_COMPILER="$triple-gcc-posix" \
  -DCMAKE_RC_COMPILER="$triple-windres" \
  -DCMAKE_C_FLAGS="$cflags" \
  -DCMAKE_FIND_ROOT_PATH="$zlib" \
  -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER \
  -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
  -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY \
  -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DZLIB_INCLUDE_DIR="$zlib/include" \
  -DZLIB_LIBRARY="$zlib/lib/libz.a" \
  -DPNG_SHARED=OFF \
  -DPNG_STATIC=ON \
  -DPNG_TESTS=OFF \
  -DPNG_EXECUTABLES=OFF \
  -DPNG_TOOLS=OFF \
  -DPNG_FRAMEWORK=OFF
cmake --build "$build" -j2
DESTDIR=$stage cmake --install "$build"

[[ -f $stage$prefix/lib/libpng.a && -f $stage$prefix/include/png.h ]] || {
  echo "build-libpng-mingw: install is missing lib/libpng.a or include/png.h" >&2
  exit 1
}
rm -rf "$prefix"
mv "$stage$prefix" "$prefix"
rm -rf "$stage"
