#!/usr/bin/env bash
# The whole test run: prepares the machine (scripts/setup.sh, needs root), then configures,
# builds and tests each CMake preset in turn, stopping at the first failure.
# Usage: sudo scripts/test.sh [PRESET...]    (default: linux asan win32 win64)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

presets=("$@")
((${#presets[@]} > 0)) || presets=(linux asan win32 win64)

passed=()
failed=
declare -A took=()
started=$SECONDS

summary() {
  local rc=$? p line=
  for p in "${passed[@]}"; do line+=" $p (${took[$p]} s)"; done
  echo
  echo "test: passed:${line:- none}"
  if [[ -n $failed ]]; then
    echo "test: FAILED: $failed"
    local rest=() seen=0
    for p in "${presets[@]}"; do
      ((seen)) && rest+=("$p")
      [[ $p == "${failed%% *}" ]] && seen=1
    done
    ((${#rest[@]} == 0)) || echo "test: not run: ${rest[*]}"
    # Seen on some VMs: the kernel runs no 32-bit programs. Wine's i686 side needs them, and the
    # plain `wine` command starts through the 32-bit loader whenever wine32 is installed.
    if [[ $failed == win* && -x /usr/lib/wine/wine ]] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
      echo "test: note: this kernel cannot run 32-bit programs (ia32 emulation off): Wine cannot run"
      echo "test:       the i686 build, and \`wine\` fails for x86_64 too (/usr/lib/wine/wine64 works)"
    fi
  elif ((rc != 0)); then
    echo "test: FAILED (exit $rc)"
  else
    echo "test: all ${#presets[@]} presets passed in $((SECONDS - started)) s"
  fi
}
trap summary EXIT

scripts/setup.sh || {
  failed="setup"
  exit 1
}

# Catch a mistyped preset before spending time on the others.
known=$(cmake --list-presets=configure | sed -n 's/^ *"\([^"]*\)".*/\1/p')
for p in "${presets[@]}"; do
  if ! grep -qxF -- "$p" <<<"$known"; then
    failed="$p (no such preset; known: $(echo $known))"
    exit 2
  fi
done

for p in "${presets[@]}"; do
  t=$SECONDS
  echo "==== $p: configure"
  # --fresh: the toolchain and presets decide, not a cache left by an earlier run.
  cmake --preset "$p" --fresh || { failed="$p (configure)"; exit 1; }
  echo "==== $p: build"
  cmake --build --preset "$p" || { failed="$p (build)"; exit 1; }
  echo "==== $p: test"
  ctest --preset "$p" || { failed="$p (test)"; exit 1; }
  took[$p]=$((SECONDS - t))
  passed+=("$p")
done
