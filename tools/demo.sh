#!/usr/bin/env bash
# Drives the running program from outside, as a person would, and takes screenshots of its
# two faces into docs/: types the sample clip's parse address, presses "TV弹发射", waits until
# the clip plays (the parse service's player page reports its progress), presses "返回机场".
# Start the program first with scripts/run.sh; run this with the same DISPLAY.
# Usage: tools/demo.sh [REQUEST_LOG]   (default: build/linux/parse-service.log)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build/linux
log=${1:-$build/parse-service.log}
docs=$root/docs

say() { printf 'demo: %s\n' "$*"; }
die() {
  printf 'demo: error: %s\n' "$*" >&2
  exit 1
}

[[ -n ${DISPLAY:-} ]] || die "DISPLAY is not set: use the display the program runs on"
[[ -f $log ]] || die "no request log at $log: is the parse service from scripts/run.sh running?"
host=$(sed -n 's/^QUORVEL_PARSE_HOST:[A-Z]*=//p' "$build/CMakeCache.txt")
cmake --build --preset linux --target x11probe >/dev/null
probe=$build/tests/gtk/x11probe

window=$(xdotool search --onlyvisible --class quorvel | tail -n1 || true)
[[ -n $window ]] || die "no Quorvel window on $DISPLAY"
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT of the content
at() { xdotool mousemove "$((X + $1))" "$((Y + $2))"; }
shot() { "$probe" shot "$1" "$X" "$Y" "$WIDTH" "$HEIGHT"; }
played() {
  # The furthest playback time reported since line $1 of the request log, in seconds.
  tail -n "+$(($1 + 1))" "$log" | sed -n 's|^GET /progress?\(ended=1&\)\{0,1\}t=\([0-9.]*\) .*|\2|p' |
    sort -g | tail -n1
}

mkdir -p "$docs"
xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus "$window" 2>/dev/null || true
at 100 668 && xdotool click 1                       # into the address box
xdotool key ctrl+a BackSpace
address="http://$host/media/sample.webm"
xdotool type --delay 20 "$address"
sleep 0.3
shot "$docs/splash-face.png"
say "splash face: $docs/splash-face.png"

mark=$(wc -l <"$log")
at 672 672 && xdotool click 1                       # TV弹发射
say "launched $address; waiting for the clip to play"
for _ in $(seq 200); do
  t=$(played "$mark")
  if [[ -n $t ]] && awk -v t="$t" 'BEGIN { exit !(t > 2.0) }'; then break; fi
  sleep 0.1
done
[[ -n ${t:-} ]] && awk -v t="$t" 'BEGIN { exit !(t > 2.0) }' || die "the clip did not play (reported: ${t:-nothing})"
shot "$docs/page-face.png"
say "playing (${t} s reported): $docs/page-face.png"

at 976 668 && xdotool click 1                       # 返回机场
sleep 1
say "returned to the splash picture"
