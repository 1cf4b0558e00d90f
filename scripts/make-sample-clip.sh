#!/bin/sh
# Makes the short sample clip that the reference parse service serves: a few seconds of moving
# picture with a tone, as WebM (VP8 + Vorbis) and MP4 (H.264 + AAC). Kept once made.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-"$root/build/media"}
mkdir -p "$out"

make_clip() {
  target=$1
  shift
  if [ -s "$target" ]; then
    return 0
  fi
  # Written beside the target first, so an interrupted run leaves no half file behind.
  tmp="$target.part"
  ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i "testsrc2=size=640x360:rate=25:duration=6" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=6" \
    -shortest "$@" "$tmp"
  mv "$tmp" "$target"
}

make_clip "$out/sample.webm" -c:v libvpx -b:v 800k -c:a libvorbis -f webm
make_clip "$out/sample.mp4" -c:v libx264 -pix_fmt yuv420p -profile:v baseline -c:a aac \
  -movflags +faststart -f mp4
echo "$out/sample.webm"
echo "$out/sample.mp4"
