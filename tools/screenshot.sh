#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the README's screenshot: the window after a passing test on the sample
# video, under a virtual X server.
#
#   tools/screenshot.sh [VIDEO] [OUT.png]
#
# VIDEO defaults to demo-out/sample.avi (made with build/bin/orbicrop-make-sample
# when it is missing), OUT.png to docs/screenshot.png. The window opens the
# video named on its command line, as `orbicrop FILE` does from a file
# manager. A small window manager (twm), when present, draws the frame with
# the window's title. Its settings go to a scratch file so that the picture
# shows the defaults and no settings of the person running this; SETTINGS=FILE
# starts it from a copy of FILE instead (an Orbicrop.ini, e.g. with a 640 x 640
# output size to see the largest preview).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build}
video=${1:-$root/demo-out/sample.avi}
out=${2:-$root/docs/screenshot.png}
wait_seconds=${WAIT_SECONDS:-4}

if [[ ! -f "$video" ]]; then
  mkdir -p "$(dirname "$video")"
  "$build/bin/orbicrop-make-sample" "$video"
fi
mkdir -p "$(dirname "$out")"
video=$(cd "$(dirname "$video")" && pwd)/$(basename "$video")
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A copy of the program in the scratch folder keeps its settings file there;
# the FFmpeg module it reads videos with goes beside it.
cp "$build/bin/orbicrop" "$build/bin/orbicrop-ffmpeg.so" "$scratch/"
# The marker keeps the settings beside the copy even for root, who owns no
# folder the window would otherwise take for its own.
: >"$scratch/Orbicrop.portable"
if [[ -n "${SETTINGS:-}" ]]; then
  cp "$SETTINGS" "$scratch/Orbicrop.ini"
fi

export QT_QPA_PLATFORM=xcb
xvfb-run --auto-servernum --server-args="-screen 0 1280x800x24" bash -c '
  wm=
  if command -v twm >/dev/null; then
    twm -f "$5" >/dev/null 2>&1 &
    wm=$!
    sleep 1
  fi
  "$1" "$4" &
  app=$!
  sleep "$2"
  import -window root "$3"
  kill "$app"
  # Keep the window and its frame, drop the empty screen.
  mogrify -trim +repage "$3"
  wait "$app" || true
  [[ -n "$wm" ]] && kill "$wm"
  true
' _ "$scratch/orbicrop" "$wait_seconds" "$out" "$video" "$root/tools/screenshot.twmrc"
echo "screenshot: $out"
