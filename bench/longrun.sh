#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Long runs of orbicrop-cli: a batch of many files in one run, and one very
# long file. Peak memory must not grow with the number of files or frames
# (1 file against all of them, a tenth of the long file against all of it),
# and every output must be a valid AVI: as many frames as the log says were
# written, counted by decoding them all, an index that seeking can use, and
# a last frame that decodes to the same picture by seeking as by reading
# through. Prints a table; exits non-zero when anything fails.
#
# Inputs are generated once into $LONGRUN_DIR (default $TMPDIR/orbicrop-longrun)
# and kept for the next run; the outputs there are replaced every run.
#
# usage: bench/longrun.sh BIN_DIR
set -euo pipefail

bin=${1:?usage: bench/longrun.sh BIN_DIR}
bin=$(cd "$bin" && pwd)
work=${LONGRUN_DIR:-${TMPDIR:-/tmp}/orbicrop-longrun}
batch_files=${LONGRUN_BATCH_FILES:-20}
batch_frames=${LONGRUN_BATCH_FRAMES:-300}
long_frames=${LONGRUN_FRAMES:-20000}
short_frames=$((long_frames / 10))
# Flat: the larger run's peak within this factor of the smaller run's, plus a little.
flat_factor=1.2
flat_slack_kib=8192

need() { command -v "$1" >/dev/null || { echo "longrun: $1 is missing (make deps)" >&2; exit 1; }; }
need ffmpeg; need ffprobe; need /usr/bin/time; need md5sum

mkdir -p "$work/inputs"
cd "$work"

# Made under a temporary name and renamed, so an interrupted generation is
# never taken for a finished input next time.
make_input() {   # OUT FRAMES SIZE RADIUS SEED
  local out=$1
  [[ -f $out ]] && return 0
  "$bin/orbicrop-make-sample" --frames "$2" --size "$3" --radius "$4" --seed "$5" "$out.part.avi" >/dev/null
  mv "$out.part.avi" "$out"
}

echo "longrun: inputs in $work/inputs (generated once)"
batch_inputs=()
for i in $(seq 1 "$batch_files"); do
  f=inputs/batch_${batch_frames}f_$(printf '%02d' "$i").avi
  make_input "$f" "$batch_frames" 640x480 60 "$i"
  batch_inputs+=("$f")
done
long=inputs/long_${long_frames}f_160x120.avi
short=inputs/long_${short_frames}f_160x120.avi
make_input "$long" "$long_frames" 160x120 20 7
make_input "$short" "$short_frames" 160x120 20 7
size_line() {   # LABEL BYTES
  awk -v l="$1" -v b="$2" 'BEGIN { printf "  %-34s %14.0f bytes (%.2f GiB)\n", l, b, b / 2^30 }'
}
size_line "$batch_files batch files, 640x480" "$(stat -c %s "${batch_inputs[@]}" | awk '{ s += $1 } END { print s }')"
size_line "$long" "$(stat -c %s "$long")"
size_line "$short" "$(stat -c %s "$short")"

failures=0
fail() { echo "longrun: FAIL: $*" >&2; failures=$((failures + 1)); }

# Checks one output against the frame count its log line gave.
check_output() {   # AVI WRITTEN -> prints "ok" or a reason
  local avi=$1 written=$2
  [[ -f $avi ]] || { echo "missing"; return; }
  local counted header
  counted=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$avi")
  header=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 "$avi")
  [[ $counted == "$written" ]] || { echo "decoded $counted frames, log says $written"; return; }
  [[ $header == "$written" ]] || { echo "header says $header frames, log says $written"; return; }
  # The output runs at 30 frames per second; a seek a hair before the last
  # frame's time lands on it through the index.
  local at seeked through bytes
  at=$(awk -v n="$written" 'BEGIN { printf "%.6f", (n - 1) / 30 - 0.001 }')
  rm -f last_seek.raw
  ffmpeg -v error -ss "$at" -i "$avi" -frames:v 1 -f rawvideo -y last_seek.raw || { echo "seeking failed"; return; }
  bytes=$(stat -c %s last_seek.raw)
  [[ $bytes -gt 0 ]] || { echo "seeking to the last frame gave nothing"; return; }
  seeked=$(md5sum <last_seek.raw | cut -d' ' -f1)
  through=$(ffmpeg -v error -i "$avi" -f rawvideo - | tail -c "$bytes" | md5sum | cut -d' ' -f1)
  [[ $seeked == "$through" ]] || { echo "last frame by seeking differs from reading through"; return; }
  echo ok
}

rows=()
declare -A peak_kib
# One run of the tool under /usr/bin/time; checks every output it wrote.
run() {   # NAME CLI-ARGS... -- INPUTS...
  local name=$1; shift
  local args=() inputs=()
  while [[ $1 != -- ]]; do args+=("$1"); shift; done
  shift
  inputs=("$@")
  local out=out/$name
  rm -rf "$out"; mkdir -p "$out"
  local status=0
  /usr/bin/time -v -o "$out/time.txt" "$bin/orbicrop-cli" -q "${args[@]}" -o "$out" "${inputs[@]}" \
    >"$out/log.txt" 2>"$out/errors.txt" || status=$?
  [[ $status == 0 ]] || fail "$name: orbicrop-cli exited $status: $(head -3 "$out/errors.txt")"

  local kib wall
  kib=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$out/time.txt")
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$out/time.txt")
  peak_kib[$name]=$kib

  # "Opening file NAME" starts each file's part of the log (the test's
  # too); the "N/M frames written" line after it belongs to that file.
  local frames_in=0 frames_written=0 valid=0 file="" line
  while IFS= read -r line; do
    if [[ $line == "Opening file "* ]]; then
      file=${line#Opening file }
    elif [[ $line =~ ^([0-9]+)/([0-9]+)\ frames\ written$ ]]; then
      local written=${BASH_REMATCH[1]} stem=${file%.*} avi verdict
      frames_in=$((frames_in + BASH_REMATCH[2]))
      frames_written=$((frames_written + written))
      avi=$out/${stem}_orbic.avi
      [[ -f $avi ]] || avi=$out/${stem}_Y8orbic.avi
      verdict=$(check_output "$avi" "$written")
      if [[ $verdict == ok ]]; then valid=$((valid + 1)); else fail "$name: $avi: $verdict"; fi
    fi
  done <"$out/log.txt"
  [[ $valid == "${#inputs[@]}" ]] || fail "$name: $valid of ${#inputs[@]} outputs valid"
  rows+=("$(printf '%-14s %6s %10s %10s %9s %10s %12.1f' "$name" "${#inputs[@]}" "$frames_in" "$frames_written" \
    "$valid/${#inputs[@]}" "$wall" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')")")
}

run batch_1 -- "${batch_inputs[0]}"
run "batch_$batch_files" -- "${batch_inputs[@]}"
run "long_$short_frames" -W 64 -H 64 -- "$short"
run "long_$long_frames" -W 64 -H 64 -- "$long"

flat() {   # SMALL BIG
  local small=${peak_kib[$1]} big=${peak_kib[$2]}
  if awk -v s="$small" -v b="$big" -v f="$flat_factor" -v k="$flat_slack_kib" 'BEGIN { exit !(b <= s * f + k) }'; then
    printf 'peak RSS %s %.1f MiB vs %s %.1f MiB: flat\n' "$1" "$(awk -v k="$small" 'BEGIN{print k/1024}')" \
      "$2" "$(awk -v k="$big" 'BEGIN{print k/1024}')"
  else
    fail "peak RSS grows: $1 $small KiB, $2 $big KiB"
  fi
}

echo
printf '%-14s %6s %10s %10s %9s %10s %12s\n' run files "frames in" written "valid" "wall" "peak MiB"
printf '%s\n' "${rows[@]}"
echo
flat batch_1 "batch_$batch_files"
flat "long_$short_frames" "long_$long_frames"
rm -f last_seek.raw

if [[ $failures -gt 0 ]]; then
  echo "longrun: $failures failure(s)" >&2
  exit 1
fi
echo "longrun: all outputs valid, memory flat"
