#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end timing of orbicrop-cli against a plain FFmpeg crop (no centring)
# on the same inputs, in the same run. Per input: the median wall time of each
# side (hyperfine), their ratio, and for each side user and system CPU time,
# minor page faults and peak resident memory (/usr/bin/time, medians of 3).
# Inputs should be in the page cache: hyperfine's warm-up run sees to that.
#
# The SER captures run twice: to an 8-bit AVI, and (rows "-> ser") to a SER
# file of their own depth with --format ser; FFmpeg's side is the same crop
# in both, as it writes no SER.
#
# usage: bench/e2e.sh BIN_DIR [RUNS]
# BENCH_DIR=dir keeps the generated inputs there between calls (default: a
# fresh folder under $TMPDIR); BENCH_EXTRA=(files...) adds inputs of your own.
set -euo pipefail

bin=${1:?usage: bench/e2e.sh BIN_DIR [RUNS]}
runs=${2:-5}
bin=$(cd "$bin" && pwd)
work=${BENCH_DIR:-$(mktemp -d -t orbicrop-bench.XXXXXX)}
mkdir -p "$work"
cd "$work"

need() { command -v "$1" >/dev/null || { echo "bench: $1 is missing (make deps)" >&2; exit 1; }; }
need hyperfine; need ffmpeg; need python3; need /usr/bin/time

# Inputs, made once and kept in $work between runs.
if [[ ! -f a_rgb24_640x480.avi ]]; then
  "$bin/orbicrop-make-sample" --frames 1000 a_rgb24_640x480.avi >/dev/null
fi
if [[ ! -f b_gray_1920x1080.avi ]]; then
  "$bin/orbicrop-make-sample" --frames 300 --size 1920x1080 --radius 200 --gray big_rgb.avi >/dev/null
  ffmpeg -v error -y -i big_rgb.avi -pix_fmt gray -c:v rawvideo -vtag Y800 b_gray_1920x1080.avi
  rm -f big_rgb.avi
fi
if [[ ! -f c_h264_1920x1080.mp4 ]]; then
  "$bin/orbicrop-make-sample" --frames 300 --size 1920x1080 --radius 200 big_rgb.avi >/dev/null
  ffmpeg -v error -y -i big_rgb.avi -c:v libx264 -preset fast -crf 18 -pix_fmt yuv420p c_h264_1920x1080.mp4
  rm -f big_rgb.avi
fi
if [[ ! -f d_mono8_1920x1080.ser ]]; then
  "$bin/orbicrop-make-sample" --frames 300 --size 1920x1080 --radius 200 --ser-depth 8 d_mono8_1920x1080.ser >/dev/null
fi
if [[ ! -f e_mono12_1920x1080.ser ]]; then
  "$bin/orbicrop-make-sample" --frames 300 --size 1920x1080 --radius 200 --ser-depth 12 e_mono12_1920x1080.ser >/dev/null
fi
extra_inputs=()
for f in "${BENCH_EXTRA[@]:-}"; do [[ -n "$f" ]] && extra_inputs+=("$f"); done

cpu=$(awk -F': *' '/^model name/ {print $2; exit}' /proc/cpuinfo)
echo "CPU: ${cpu:-unknown}, $(nproc) cores; FFmpeg $(ffmpeg -version | awk 'NR==1 {print $3}')"

# user s, system s, minor faults, peak KiB of one command: the median of
# each over 3 runs.
resources() {
  for _ in 1 2 3; do
    /usr/bin/time -f '%U %S %R %M' -o res.txt "$@" >/dev/null 2>&1 || true
    tail -1 res.txt
  done | python3 -c '
import sys, statistics
rows = [list(map(float, l.split())) for l in sys.stdin if l.strip()]
print(" ".join(str(statistics.median(c)) for c in zip(*rows)))'
}

printf '%-31s %8s %8s %6s | %-27s | %-27s\n' "" orbicrop ffmpeg "" "orbicrop" "ffmpeg"
printf '%-31s %8s %8s %6s | %6s %6s %7s %6s | %6s %6s %7s %6s\n' input "s" "s" ratio \
  user sys faults MiB user sys faults MiB
for job in a_rgb24_640x480.avi b_gray_1920x1080.avi c_h264_1920x1080.mp4 d_mono8_1920x1080.ser \
           e_mono12_1920x1080.ser d_mono8_1920x1080.ser:ser e_mono12_1920x1080.ser:ser "${extra_inputs[@]}"; do
  input=${job%:ser}
  format=avi
  [[ $job == *:ser ]] && format=ser
  mode=--color
  [[ $input == *gray* || $input == *mono* ]] && mode=--gray
  mkdir -p out
  ours=("$bin/orbicrop-cli" -q $mode --format $format -W 192 -H 192 -o "$work/out" "$input")
  theirs=(ffmpeg -v error -y -i "$input" -vf crop=192:192:100:100 -c:v rawvideo "$work/out/ffmpeg.avi")
  hyperfine --style none --warmup 1 --runs "$runs" --export-json times.json \
    "$(printf '%q ' "${ours[@]}")" "$(printf '%q ' "${theirs[@]}")" >/dev/null
  r_ours=$(resources "${ours[@]}")
  r_theirs=$(resources "${theirs[@]}")
  label=$input
  [[ $format == ser ]] && label="$input -> ser"
  python3 - "$label" "$r_ours" "$r_theirs" <<'PY'
import json, sys
name, ours, theirs = sys.argv[1], sys.argv[2].split(), sys.argv[3].split()
res = json.load(open("times.json"))["results"]
t1, t2 = res[0]["median"], res[1]["median"]
def side(r):
    u, s, f, m = map(float, r)
    return "%6.2f %6.2f %7d %6.1f" % (u, s, f, m / 1024)
print("%-31s %8.3f %8.3f %6.2f | %s | %s" % (name, t1, t2, t1 / t2, side(ours), side(theirs)))
PY
done
echo "(wall: medians of $runs runs; user, sys, minor faults, peak MiB: medians of 3; inputs and outputs in $work)"

# How orbicrop's time scales with cores on the 1080p inputs that it reads
# itself: the same runs confined to one core (taskset), then on every core.
if command -v taskset >/dev/null && (( $(nproc) > 1 )); then
  echo
  printf '%-31s %8s %8s %7s\n' "orbicrop, 1080p" "1 core" "$(nproc) cores" speedup
  for input in b_gray_1920x1080.avi d_mono8_1920x1080.ser e_mono12_1920x1080.ser; do
    ours=("$bin/orbicrop-cli" -q --gray -W 192 -H 192 -o "$work/out" "$input")
    hyperfine --style none --warmup 1 --runs "$runs" --export-json scaling.json \
      "taskset -c 0 $(printf '%q ' "${ours[@]}")" "$(printf '%q ' "${ours[@]}")" >/dev/null
    python3 - "$input" <<'PY'
import json, sys
res = json.load(open("scaling.json"))["results"]
one, all_ = res[0]["median"], res[1]["median"]
print("%-31s %8.3f %8.3f %7.2f" % (sys.argv[1], one, all_, one / all_))
PY
  done
fi
