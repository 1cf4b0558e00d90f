#!/usr/bin/env bash
# The run command: prepares the machine (scripts/setup.sh; as root when something is missing),
# builds the linux preset, starts the reference parse service and the program. With a display
# ($DISPLAY) the window appears there; without one the program runs on a virtual display
# (Xvfb), and this says so. Closing the window ends it all.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=$root/build/linux

say() { printf 'run: %s\n' "$*"; }
die() {
  printf 'run: error: %s\n' "$*" >&2
  exit 1
}

scripts/setup.sh

say "building the linux preset"
if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake --preset linux >/dev/null
fi
cmake --build --preset linux --target quorvel

host=$(sed -n 's/^QUORVEL_PARSE_HOST:[A-Z]*=//p' "$build/CMakeCache.txt")
[[ -n $host ]] || die "no QUORVEL_PARSE_HOST in $build/CMakeCache.txt"

pids=()
stop() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap stop EXIT

# The reference parse service, unless one already answers at the program's host.
service_log=$build/parse-service.log
answers() {
  python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1], timeout=2)' \
    "http://$host/progress" 2>/dev/null
}
if answers; then
  say "a parse service already answers at http://$host/; using it"
else
  python3 tools/parse_service.py "$host" --media "$root/build/media" --log "$service_log" \
    2>"$build/parse-service.err" &
  pids+=($!)
  for _ in $(seq 50); do
    grep -q "listening on" "$build/parse-service.err" 2>/dev/null && break
    kill -0 "${pids[-1]}" 2>/dev/null || die "the parse service did not start: $(cat "$build/parse-service.err")"
    sleep 0.1
  done
  say "parse service at http://$host/ (request log: $service_log)"
fi

if [[ -z ${DISPLAY:-} ]]; then
  # Xvfb picks a free display number and writes it to fd 3.
  : >"$build/xvfb.display"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$build/xvfb.display" \
    >"$build/xvfb.log" 2>&1 &
  pids+=($!)
  number=
  for _ in $(seq 150); do
    number=$(head -n1 "$build/xvfb.display")
    [[ -n $number ]] && break
    kill -0 "${pids[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  [[ -n $number ]] || die "Xvfb did not start: $(cat "$build/xvfb.log")"
  export DISPLAY=:$number
  say "no display (\$DISPLAY is not set): the program runs on the virtual display $DISPLAY (Xvfb)"
  say "drive it from another shell with: DISPLAY=$DISPLAY tools/demo.sh"
fi

# No sound card (a server, a container): an ALSA device that plays to nothing, so media
# pages still get an audio output.
if [[ ! -d /dev/snd ]]; then
  export ALSA_CONFIG_PATH=$root/tools/asound-null.conf
fi

say "starting the program on $DISPLAY; try the address http://$host/media/sample.webm"
set +e
"$build/quorvel"
code=$?
set -e
say "the program ended with exit code $code"
exit "$code"
