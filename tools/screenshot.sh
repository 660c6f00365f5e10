#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the README's pictures of the window, under a virtual X server of a
# 1366 x 768 screen.
#
#   tools/screenshot.sh [OUTDIR]
#     the window in three states, as a user gets there, into OUTDIR (default
#     docs/): window-open.png (a sample video opened and tested),
#     window-frame.png (the frame slider on a frame whose disc the frame's edge
#     cuts, with "Reject cut discs" on), window-batch.png (after processing,
#     with the plots). The sample is made with build/bin/orbicrop-make-sample
#     (--bump: the mount knocked at frame 120) in demo-out/ when missing;
#     build/bin/orbicrop-window-states drives the window.
#   tools/screenshot.sh --night WIDTHxHEIGHT [OUTDIR]
#     a night's batch at that window size, on a screen that holds it, under
#     twm: a colour capture, a mono SER and a broken file (a text file named
#     .avi) opened with "Keep going" on, before and after processing:
#     window-WIDTH-open.png and window-WIDTH-batch.png in OUTDIR (default
#     docs/). The captures are made in demo-out/night/ when missing.
#   tools/screenshot.sh --program [VIDEO] [OUT.png]
#     the installed program itself, started with VIDEO (a file, or a folder
#     of numbered frames; default the demo
#     sample) on its command line as a file manager starts it, framed by a
#     small window manager (twm) when present.
#
# Settings go to a scratch folder, so that the pictures show the defaults and
# no settings of the person running this; SETTINGS=FILE starts --program from
# a copy of FILE instead (an Orbicrop.ini, e.g. with a 640 x 640 output size
# to see the largest preview).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build}

if [[ "${1:-}" == --night ]]; then
  size=${2:?a window size, e.g. 1340x680}
  outdir=${3:-$root/docs}
  night=$root/demo-out/night
  mkdir -p "$night" "$outdir"
  [[ -f "$night/jupiter.avi" ]] || "$build/bin/orbicrop-make-sample" --frames 200 "$night/jupiter.avi"
  [[ -f "$night/saturn.ser" ]] || "$build/bin/orbicrop-make-sample" --frames 150 --rings --ser-depth 12 "$night/saturn.ser"
  [[ -f "$night/x.avi" ]] || echo "not a video" >"$night/x.avi"
  # The screen has room for the window, its title bar and a little more.
  width=${size%x*}
  height=${size#*x}
  screen="$((width + 26))x$((height + 88))x24"
  QT_QPA_PLATFORM=xcb xvfb-run --auto-servernum --server-args="-screen 0 $screen" bash -c '
    twm -f "$1" >/dev/null 2>&1 &
    wm=$!
    sleep 1
    "$2" night "$3" "$4" "$5/jupiter.avi" "$5/x.avi" "$5/saturn.ser"
    status=$?
    kill "$wm"
    exit "$status"
  ' _ "$root/tools/screenshot.twmrc" "$build/bin/orbicrop-window-states" "$size" "$outdir" "$night"
  exit 0
fi

if [[ "${1:-}" != --program ]]; then
  outdir=${1:-$root/docs}
  sample=$root/demo-out/bumped.avi
  if [[ ! -f "$sample" ]]; then
    mkdir -p "$(dirname "$sample")"
    "$build/bin/orbicrop-make-sample" --bump 120 "$sample"
  fi
  mkdir -p "$outdir"
  # The slider counts frames from 0: the knock's second frame.
  QT_QPA_PLATFORM=xcb xvfb-run --auto-servernum --server-args="-screen 0 1366x768x24" \
    "$build/bin/orbicrop-window-states" shots "$sample" 121 "$outdir"
  exit 0
fi
shift
video=${1:-$root/demo-out/sample.avi}
out=${2:-$root/demo-out/program.png}
wait_seconds=${WAIT_SECONDS:-4}

if [[ ! -e "$video" ]]; then
  mkdir -p "$(dirname "$video")"
  "$build/bin/orbicrop-make-sample" "$video"
fi
mkdir -p "$(dirname "$out")"
video=$(cd "$(dirname "$video")" && pwd)/$(basename "$video")
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A copy of the program in the scratch folder keeps its settings file there;
# the modules it reads videos and still images with go beside it.
cp "$build/bin/orbicrop" "$build/bin/orbicrop-ffmpeg.so" "$build/bin/orbicrop-stills.so" \
  "$build/bin/orbicrop-demosaic.so" "$scratch/"
# The marker keeps the settings beside the copy even for root, who owns no
# folder the window would otherwise take for its own.
: >"$scratch/Orbicrop.portable"
if [[ -n "${SETTINGS:-}" ]]; then
  cp "$SETTINGS" "$scratch/Orbicrop.ini"
fi

export QT_QPA_PLATFORM=xcb
xvfb-run --auto-servernum --server-args="-screen 0 1366x768x24" bash -c '
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
