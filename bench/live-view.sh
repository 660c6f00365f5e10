#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What the window's live view costs a batch: the 1080p grey AVI of
# bench/e2e.sh, ten times in one batch (ten names for one file, 3000 frames),
# processed by the real window under a virtual X server, alternately without
# and with its frames shown five times a second. Prints the median wall,
# user and system time and page faults of each, their ratio, the peak memory
# and the CPU model. Runs of one setting alone differ by a few per cent on a
# shared machine: the medians of many interleaved runs are what to read.
#
# usage: bench/live-view.sh BIN_DIR [RUNS]
# BENCH_DIR=dir keeps the generated input there between calls.
set -euo pipefail

bin=${1:?usage: bench/live-view.sh BIN_DIR [RUNS]}
runs=${2:-11}
bin=$(cd "$bin" && pwd)
work=${BENCH_DIR:-$(mktemp -d -t orbicrop-bench.XXXXXX)}
mkdir -p "$work/live"
cd "$work"

command -v ffmpeg >/dev/null || { echo "bench: ffmpeg is missing (make deps)" >&2; exit 1; }
command -v xvfb-run >/dev/null || { echo "bench: xvfb-run is missing (make deps)" >&2; exit 1; }
if [[ ! -f b_gray_1920x1080.avi ]]; then
  "$bin/orbicrop-make-sample" --frames 300 --size 1920x1080 --radius 200 --gray big_rgb.avi >/dev/null
  ffmpeg -v error -y -i big_rgb.avi -pix_fmt gray -c:v rawvideo -vtag Y800 b_gray_1920x1080.avi
  rm -f big_rgb.avi
fi
for i in 01 02 03 04 05 06 07 08 09 10; do
  ln -sf ../b_gray_1920x1080.avi "live/night$i.avi"
done
cd live
QT_QPA_PLATFORM=xcb xvfb-run --auto-servernum --server-args="-screen 0 1366x768x24" \
  "$bin/orbicrop-window-states" cost "$runs" night*.avi 2> >(grep -v XDG_RUNTIME_DIR >&2)
