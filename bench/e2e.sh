#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end timing of orbicrop-cli against FFmpeg on the same inputs, in the
# same run, each row with the target it is held to (ok / MISSED):
#
# 1. Against a plain FFmpeg crop (no centring), per input: the median wall
#    time of each side (hyperfine), their ratio, and for each side user and
#    system CPU time, minor page faults and peak resident memory
#    (/usr/bin/time, medians of 3). The SER captures run twice: to an 8-bit
#    AVI, and (rows "-> ser") to a SER file of their own depth with
#    --format ser; FFmpeg's side is the same crop in both, as it writes no SER.
# 2. The H.264 video against FFmpeg decoding it and nothing else
#    (`ffmpeg -i X -f null -`): what finding the planet and writing the crop
#    add to the decoding, in wall time and in user + system time.
# 3. A batch of 8 H.264 files with --jobs 0 (one file per core) against
#    --jobs 1.
# 4. Throughput on the reference captures (--jobs 1 on one file, and --jobs 0
#    on as many copies as there are cores): frames a second, MB a second of
#    input, peak memory. This is the README's "Throughput" table.
# 5. One file on one core and on every core.
# 6. Calibration: the 1080p 12-bit SER to SER with a master dark, a master
#    flat and hot pixels from the dark, against the same run without.
# Inputs should be in the page cache: hyperfine's warm-up run sees to that.
# Every timed run starts with nothing left to write (sync before it):
# orbicrop-cli makes each output durable before it takes its name, FFmpeg
# leaves its output to the kernel, and that writing would otherwise land on
# whichever run comes next. Our times include the durable close; FFmpeg's
# include none.
#
# usage: bench/e2e.sh BIN_DIR [RUNS]
# BENCH_DIR=dir keeps the generated inputs there between calls (default: a
# fresh folder under $TMPDIR); BENCH_EXTRA=(files...) adds inputs of your own;
# BENCH_ONLY=N runs section N alone.
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
# The reference captures of the throughput table: an IMX462-class colour
# camera's raw 8-bit frames, and an IMX585-class camera's 16-bit ones.
if [[ ! -f f_bayer8_1936x1096.ser ]]; then
  "$bin/orbicrop-make-sample" --frames 500 --size 1936x1096 --radius 150 --ser-depth 8 --bayer RGGB \
    f_bayer8_1936x1096.ser >/dev/null
fi
if [[ ! -f g_bayer16_3856x2180.ser ]]; then
  "$bin/orbicrop-make-sample" --frames 100 --size 3856x2180 --radius 400 --ser-depth 16 --bayer RGGB \
    g_bayer16_3856x2180.ser >/dev/null
fi
# The many-files batch: 8 names for one shorter H.264 file (outputs are
# named after their inputs, so each name gets its own).
if [[ ! -f h_h264_batch.mp4 ]]; then
  ffmpeg -v error -y -i c_h264_1920x1080.mp4 -frames:v 100 -c copy h_h264_batch.mp4
fi
mkdir -p batch8
for k in 1 2 3 4 5 6 7 8; do ln -sf ../h_h264_batch.mp4 "batch8/night_$k.mp4"; done
extra_inputs=()
for f in "${BENCH_EXTRA[@]:-}"; do [[ -n "$f" ]] && extra_inputs+=("$f"); done

cpu=$(awk -F': *' '/^model name/ {print $2; exit}' /proc/cpuinfo)
echo "CPU: ${cpu:-unknown}, $(nproc) cores; FFmpeg $(ffmpeg -version | awk 'NR==1 {print $3}')"

# user s, system s, minor faults, peak KiB of one command: the median of
# each over 3 runs.
resources() {
  for _ in 1 2 3; do
    sync
    /usr/bin/time -f '%U %S %R %M' -o res.txt "$@" >/dev/null 2>&1 || true
    tail -1 res.txt
  done | python3 -c '
import sys, statistics
rows = [list(map(float, l.split())) for l in sys.stdin if l.strip()]
print(" ".join(str(statistics.median(c)) for c in zip(*rows)))'
}

# The ratio each row of the crop table is held to: what the same rows gave on
# a 2-core Xeon before the H.264 path changed (none for the rows not measured
# then). The 12-bit SER is held to more.
target_of() {
  case $1 in
    a_rgb24_640x480.avi) echo 0.90 ;;
    b_gray_1920x1080.avi) echo 0.62 ;;
    d_mono8_1920x1080.ser) echo 0.59 ;;
    e_mono12_1920x1080.ser) echo 0.60 ;;
    *) echo - ;;
  esac
}

# Whether section $1 runs.
section() { [[ -z ${BENCH_ONLY:-} || ${BENCH_ONLY} == "$1" ]]; }

if section 1; then
echo
echo "1. Against a plain FFmpeg crop (ratio = orbicrop / ffmpeg wall time)"
printf '%-31s %8s %8s %6s %6s | %-27s | %-27s\n' "" orbicrop ffmpeg "" "" "orbicrop" "ffmpeg"
printf '%-31s %8s %8s %6s %6s | %6s %6s %7s %6s | %6s %6s %7s %6s\n' input "s" "s" ratio target \
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
  hyperfine --style none --prepare sync --warmup 1 --runs "$runs" --export-json times.json \
    "$(printf '%q ' "${ours[@]}")" "$(printf '%q ' "${theirs[@]}")" >/dev/null
  r_ours=$(resources "${ours[@]}")
  r_theirs=$(resources "${theirs[@]}")
  label=$input
  [[ $format == ser ]] && label="$input -> ser"
  target=-
  [[ $format == avi ]] && target=$(target_of "$input")
  python3 - "$label" "$r_ours" "$r_theirs" "$target" <<'PY'
import json, sys
name, ours, theirs, target = sys.argv[1], sys.argv[2].split(), sys.argv[3].split(), sys.argv[4]
res = json.load(open("times.json"))["results"]
t1, t2 = res[0]["median"], res[1]["median"]
def side(r):
    u, s, f, m = map(float, r)
    return "%6.2f %6.2f %7d %6.1f" % (u, s, f, m / 1024)
ratio = t1 / t2
mark = "" if target == "-" else ("ok" if ratio <= float(target) else "MISSED")
print("%-31s %8.3f %8.3f %6.2f %6s | %s | %s %s" % (name, t1, t2, ratio, target, side(ours), side(theirs), mark))
PY
done
echo "(wall: medians of $runs runs; user, sys, minor faults, peak MiB: medians of 3; inputs and outputs in $work)"
echo "(targets: the ratios of the same rows on a 2-core Xeon before; ok / MISSED says where this run stands)"
echo "(every run after a sync; ours include making the output durable before it takes its name, FFmpeg's do not)"
fi

# 2. The H.264 video against its decoding alone.
if section 2; then
echo
echo "2. H.264 against FFmpeg's decoding alone (ffmpeg -i X -f null -), target <= 1.05 in wall and in user + sys"
input=c_h264_1920x1080.mp4
ours=("$bin/orbicrop-cli" -q -o "$work/out" "$input")
theirs=(ffmpeg -v error -i "$input" -f null -)
hyperfine --style none --prepare sync --warmup 1 --runs "$runs" --export-json times.json \
  "$(printf '%q ' "${ours[@]}")" "$(printf '%q ' "${theirs[@]}")" >/dev/null
r_ours=$(resources "${ours[@]}")
r_theirs=$(resources "${theirs[@]}")
python3 - "$input" "$r_ours" "$r_theirs" <<'PY'
import json, sys
name, ours, theirs = sys.argv[1], list(map(float, sys.argv[2].split())), list(map(float, sys.argv[3].split()))
res = json.load(open("times.json"))["results"]
t1, t2 = res[0]["median"], res[1]["median"]
cpu1, cpu2 = ours[0] + ours[1], theirs[0] + theirs[1]
mark = lambda r: "ok" if r <= 1.05 else "MISSED"
print("%-24s %14s %14s %7s" % ("", "orbicrop", "ffmpeg -f null", "ratio"))
print("%-24s %14.3f %14.3f %7.3f %s" % ("wall s (median)", t1, t2, t1 / t2, mark(t1 / t2)))
print("%-24s %14.2f %14.2f %7.3f %s" % ("user + sys s", cpu1, cpu2, cpu1 / cpu2, mark(cpu1 / cpu2)))
print("%-24s %14d %14d" % ("minor faults", ours[2], theirs[2]))
print("%-24s %14.1f %14.1f" % ("peak MiB", ours[3] / 1024, theirs[3] / 1024))
PY
fi

# 3. Many files in one process.
if section 3; then
cores=$(nproc)
target_jobs=0.9
(( cores >= 8 )) && target_jobs=0.3
echo
echo "3. A batch of 8 H.264 files (1080p, 100 frames each): --jobs 0 ($cores at once) against --jobs 1, target <= $target_jobs"
one=("$bin/orbicrop-cli" -q --jobs 1 -o "$work/out/batch" batch8/night_{1..8}.mp4)
all=("$bin/orbicrop-cli" -q --jobs 0 -o "$work/out/batch" batch8/night_{1..8}.mp4)
mkdir -p "$work/out/batch"
hyperfine --style none --prepare sync --warmup 1 --runs "$runs" --export-json times.json \
  "$(printf '%q ' "${one[@]}")" "$(printf '%q ' "${all[@]}")" >/dev/null
r_one=$(resources "${one[@]}")
r_all=$(resources "${all[@]}")
python3 - "$r_one" "$r_all" "$target_jobs" <<'PY'
import json, sys
one, all_, target = list(map(float, sys.argv[1].split())), list(map(float, sys.argv[2].split())), float(sys.argv[3])
res = json.load(open("times.json"))["results"]
t1, t2 = res[0]["median"], res[1]["median"]
print("%-12s %8s %8s %8s %8s" % ("", "wall s", "user s", "sys s", "peak MiB"))
print("%-12s %8.3f %8.2f %8.2f %8.1f" % ("--jobs 1", t1, one[0], one[1], one[3] / 1024))
print("%-12s %8.3f %8.2f %8.2f %8.1f" % ("--jobs 0", t2, all_[0], all_[1], all_[3] / 1024))
print("ratio %.3f %s" % (t2 / t1, "ok" if t2 / t1 <= target else "MISSED"))
PY
fi

# 4. Throughput on the reference captures.
if section 4; then
echo
echo "4. Throughput (the README's table): one file with --jobs 1; $cores copies with --jobs 0"
printf '%-34s | %8s %8s %8s | %8s %8s %8s\n' "" "--jobs 1" "" "" "--jobs 0" "" ""
printf '%-34s | %8s %8s %8s | %8s %8s %8s\n' capture fps "MB/s" "peak MiB" fps "MB/s" "peak MiB"
for input in f_bayer8_1936x1096.ser g_bayer16_3856x2180.ser a_rgb24_640x480.avi c_h264_1920x1080.mp4; do
  mkdir -p "copies/$input"
  copies=()
  for ((k = 1; k <= cores; ++k)); do
    ln -sf "../../$input" "copies/$input/$k-$input"
    copies+=("copies/$input/$k-$input")
  done
  one=("$bin/orbicrop-cli" -q --jobs 1 -o "$work/out/through" "$input")
  all=("$bin/orbicrop-cli" -q --jobs 0 -o "$work/out/through" "${copies[@]}")
  mkdir -p "$work/out/through"
  hyperfine --style none --prepare sync --warmup 1 --runs "$runs" --export-json times.json \
    "$(printf '%q ' "${one[@]}")" "$(printf '%q ' "${all[@]}")" >/dev/null
  r_one=$(resources "${one[@]}")
  r_all=$(resources "${all[@]}")
  frames=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets -of csv=p=0 "$input" 2>/dev/null || echo 0)
  [[ $input == *.ser ]] && frames=$(python3 -c 'import struct,sys; print(struct.unpack("<i", open(sys.argv[1],"rb").read(42)[38:42])[0])' "$input")
  python3 - "$input" "$frames" "$(stat -L -c %s "$input")" "$cores" "$r_one" "$r_all" <<'PY'
import json, sys
name, frames, size, cores = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
one, all_ = list(map(float, sys.argv[5].split())), list(map(float, sys.argv[6].split()))
res = json.load(open("times.json"))["results"]
t1, t2 = res[0]["median"], res[1]["median"]
print("%-34s | %8.0f %8.0f %8.1f | %8.0f %8.0f %8.1f" % (
    name, frames / t1, size / t1 / 1e6, one[3] / 1024, cores * frames / t2, cores * size / t2 / 1e6, all_[3] / 1024))
PY
done
echo "(wall: medians of $runs runs; peak memory: medians of 3; MB = 10^6 bytes of input files)"
fi

# How orbicrop's time scales with cores on the 1080p inputs that it reads
# itself: the same runs confined to one core (taskset), then on every core.
if section 5 && command -v taskset >/dev/null && (( $(nproc) > 1 )); then
  echo
  echo "5. One file on one core (taskset) and on every core"
  printf '%-31s %8s %8s %7s\n' "orbicrop, 1080p" "1 core" "$(nproc) cores" speedup
  for input in b_gray_1920x1080.avi d_mono8_1920x1080.ser e_mono12_1920x1080.ser; do
    ours=("$bin/orbicrop-cli" -q --gray -W 192 -H 192 -o "$work/out" "$input")
    hyperfine --style none --prepare sync --warmup 1 --runs "$runs" --export-json scaling.json \
      "taskset -c 0 $(printf '%q ' "${ours[@]}")" "$(printf '%q ' "${ours[@]}")" >/dev/null
    python3 - "$input" <<'PY'
import json, sys
res = json.load(open("scaling.json"))["results"]
one, all_ = res[0]["median"], res[1]["median"]
print("%-31s %8.3f %8.3f %7.2f" % (sys.argv[1], one, all_, one / all_))
PY
  done
fi

# 6. What calibration costs: masters made once (kept in $work), then the same
# run with and without them.
if section 6; then
  # Masters of an empty sky (a 2-pixel planet): a dark with a planet in it
  # would repair the planet as hot pixels.
  if [[ ! -f cal_dark.fits ]]; then
    "$bin/orbicrop-make-sample" --frames 16 --size 1920x1080 --radius 2 --ser-depth 12 cal_sky.ser >/dev/null
    "$bin/orbicrop-cli" -q --make-master dark cal_dark.fits cal_sky.ser >/dev/null
    "$bin/orbicrop-cli" -q --make-master flat cal_flat.fits cal_sky.ser >/dev/null
  fi
  echo
  echo "6. Calibration: 1080p 12-bit SER -> ser, dark + flat + hot pixels against none, target <= 1.15"
  plain=("$bin/orbicrop-cli" -q --gray --format ser -W 192 -H 192 -o "$work/out" e_mono12_1920x1080.ser)
  calibrated=("${plain[@]}" --dark cal_dark.fits --flat cal_flat.fits --hot-pixels)
  hyperfine --style none --prepare sync --warmup 1 --runs "$runs" --export-json times.json \
    "$(printf '%q ' "${plain[@]}")" "$(printf '%q ' "${calibrated[@]}")" >/dev/null
  r_plain=$(resources "${plain[@]}")
  r_cal=$(resources "${calibrated[@]}")
  python3 - "$r_plain" "$r_cal" <<'PY'
import json, sys
plain, cal = list(map(float, sys.argv[1].split())), list(map(float, sys.argv[2].split()))
res = json.load(open("times.json"))["results"]
t1, t2 = res[0]["median"], res[1]["median"]
print("%-36s %8s %8s %8s %8s %8s" % ("", "wall s", "user s", "sys s", "faults", "peak MiB"))
print("%-36s %8.3f %8.2f %8.2f %8d %8.1f" % ("1080p 12-bit SER", t1, plain[0], plain[1], plain[2], plain[3] / 1024))
print("%-36s %8.3f %8.2f %8.2f %8d %8.1f" % ("1080p 12-bit SER, dark + flat + hot pixels", t2, cal[0], cal[1], cal[2],
                                            cal[3] / 1024))
print("ratio %.3f %s" % (t2 / t1, "ok" if t2 / t1 <= 1.15 else "MISSED"))
PY
fi
