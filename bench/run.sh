#!/usr/bin/env bash
# The benchmark: builds what it needs under build/bench/ and prints one table of start-up,
# decoding, memory and click figures, each beside a peer or a floor measured in the same run.
# Not a test: it never fails on a missed target, only when something cannot be measured.
# Usage: bench/run.sh [--runs N] [--clicks N] [--no-windows]
# Needs the packages of scripts/packages.txt (surf among them); run scripts/setup.sh first.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$root/build/bench
port=47812
windows=1
pass=()
while (($#)); do
  case $1 in
    --no-windows) windows=0 ;;
    --runs | --clicks) pass+=("$1" "$2"); shift ;;
    *) echo "usage: bench/run.sh [--runs N] [--clicks N] [--no-windows]" >&2; exit 2 ;;
  esac
  shift
done

log() { printf 'bench: %s\n' "$*" >&2; }

# The program, with its parse service on a port of the benchmark's own.
log "building the program (parse service 127.0.0.1:$port) and the benchmark's helpers"
cmake -S "$root" -B "$out/linux" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQUORVEL_PARSE_HOST=127.0.0.1:$port >"$out.configure.log" 2>&1 ||
  { cat "$out.configure.log" >&2; exit 1; }
cmake --build "$out/linux" --target quorvel -j2 >/dev/null
cmake -S "$root/bench" -B "$out/tools" -G Ninja >>"$out.configure.log" 2>&1 ||
  { cat "$out.configure.log" >&2; exit 1; }
cmake --build "$out/tools" -j2 >/dev/null

windows_file=
if ((windows)); then
  windows_file=$out/windows.tsv
  rm -f "$windows_file"
  if cmake -S "$root" -B "$out/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    --toolchain "$root/cmake/toolchain-mingw-x86_64.cmake" \
    -DQUORVEL_PARSE_HOST=127.0.0.1:$port >>"$out.configure.log" 2>&1 &&
    cmake --build "$out/win64" --target quorvel -j2 >/dev/null 2>&1; then
    python3 "$root/bench/wine.py" --out "$out" --probe "$out/tools/startprobe" \
      --exe "$out/win64/src/platform/win32/quorvel.exe" --result "$windows_file" "${pass[@]}" ||
      log "the Windows figures could not be measured"
  else
    log "quorvel.exe (x64) does not build: no Windows figures"
  fi
fi

python3 "$root/bench/bench.py" --quorvel "$out/linux/quorvel" --probe "$out/tools/startprobe" \
  --floor "$out/tools/floor_gtk" --corebench "$out/tools/corebench" \
  ${windows_file:+--windows "$windows_file"} "${pass[@]}"
