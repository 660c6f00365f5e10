#!/usr/bin/env bash
# End-to-end timing of orbicrop-cli against a plain FFmpeg crop (no centring)
# on the same inputs, in the same run. Prints medians of several runs, their
# ratio, and the peak memory of each side.
#
# usage: bench/e2e.sh BIN_DIR [RUNS]
set -euo pipefail

bin=${1:?usage: bench/e2e.sh BIN_DIR [RUNS]}
runs=${2:-5}
bin=$(cd "$bin" && pwd)
work=${BENCH_DIR:-$(mktemp -d /tmp/orbicrop-bench.XXXXXX)}
mkdir -p "$work"
cd "$work"

need() { command -v "$1" >/dev/null || { echo "bench: $1 is missing (make deps)" >&2; exit 1; }; }
need hyperfine; need ffmpeg; need /usr/bin/time

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

median() { sort -n | awk '{a[NR]=$1} END {if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }

peak_kib() {   # peak resident memory of a command, KiB, median of 3
  for _ in 1 2 3; do
    /usr/bin/time -f '%M' -o mem.txt "$@" >/dev/null 2>&1 || true
    tail -1 mem.txt
  done | median
}

printf '%-24s %10s %10s %7s %12s %12s\n' input "orbicrop s" "ffmpeg s" ratio "orbicrop MiB" "ffmpeg MiB"
for input in a_rgb24_640x480.avi b_gray_1920x1080.avi c_h264_1920x1080.mp4 d_mono8_1920x1080.ser \
             e_mono12_1920x1080.ser "${extra_inputs[@]}"; do
  mode=--color
  [[ $input == *gray* || $input == *mono* ]] && mode=--gray
  ours=("$bin/orbicrop-cli" -q $mode -W 192 -H 192 -o "$work/out" "$input")
  theirs=(ffmpeg -v error -y -i "$input" -vf crop=192:192:200:100 -c:v rawvideo "$work/out/ffmpeg.avi")
  mkdir -p out
  hyperfine --style none --warmup 1 --runs "$runs" --export-json times.json \
    "$(printf '%q ' "${ours[@]}")" "$(printf '%q ' "${theirs[@]}")" >/dev/null
  t_ours=$(python3 -c 'import json;print(json.load(open("times.json"))["results"][0]["median"])')
  t_theirs=$(python3 -c 'import json;print(json.load(open("times.json"))["results"][1]["median"])')
  m_ours=$(peak_kib "${ours[@]}")
  m_theirs=$(peak_kib "${theirs[@]}")
  python3 -c "
t1, t2, m1, m2 = $t_ours, $t_theirs, $m_ours, $m_theirs
print('%-24s %10.3f %10.3f %7.2f %12.1f %12.1f' % ('$input', t1, t2, t1 / t2, m1 / 1024, m2 / 1024))"
done
echo "(medians of $runs runs; inputs and outputs in $work)"
