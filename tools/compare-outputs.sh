#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs two builds of orbicrop-cli on the same inputs and option sets and
# compares every output byte for byte: the AVI or SER, the track CSV and the
# preview PNG. For changes that must not change a result.
#
#   tools/compare-outputs.sh OLD_BIN_DIR NEW_BIN_DIR [WORK_DIR]
#
# The bin folders hold orbicrop-cli, orbicrop-ffmpeg.so and
# orbicrop-make-sample (a build tree's bin/). Exit status 0 when every
# output is identical; the differing ones are listed.
set -euo pipefail
old=$(cd "$1" && pwd)
new=$(cd "$2" && pwd)
work=${3:-$(mktemp -d)}
mkdir -p "$work/in"
cd "$work/in"

make_inputs() {
    local sample=$new/orbicrop-make-sample
    [ -f planet.avi ] || "$sample" --frames 40 planet.avi >/dev/null
    [ -f grey_rgb.avi ] || "$sample" --frames 30 --size 800x600 --gray grey_rgb.avi >/dev/null
    for depth in 8 12 16; do
        [ -f "mono$depth.ser" ] || "$sample" --frames 30 --ser-depth "$depth" "mono$depth.ser" >/dev/null
    done
    [ -f h264.mp4 ] || ffmpeg -v error -y -i planet.avi -c:v libx264 -pix_fmt yuv420p h264.mp4
    [ -f y800.avi ] || ffmpeg -v error -y -i planet.avi -c:v rawvideo -pix_fmt gray -vtag Y800 y800.avi
    [ -f moons.avi ] || "$sample" --frames 30 --moon 40 moons.avi >/dev/null
}
make_inputs

option_sets=(
    ""
    "--gray"
    "--color --remove-incomplete -W 320 -H 256"
    "--invert -t 20 --debayer-safe"
    "--format ser"
    "--keep-best 50% --largest-object"
)

differ=0
cases=0
for input in planet.avi grey_rgb.avi mono8.ser mono12.ser mono16.ser h264.mp4 y800.avi moons.avi; do
    for k in "${!option_sets[@]}"; do
        read -r -a options <<<"${option_sets[$k]}"
        for side in old new; do
            bin=$old
            [ "$side" = new ] && bin=$new
            out="$work/$side/$input.$k"
            rm -rf "$out" && mkdir -p "$out"
            status=0
            "$bin/orbicrop-cli" -q "${options[@]}" -o "$out" --track "$out/track.csv" --preview "$out/preview.png" \
                "$work/in/$input" >"$out/log.txt" 2>&1 || status=$?
            echo "$status" >"$out/status"
        done
        cases=$((cases + 1))
        for file in $(cd "$work/old/$input.$k" && ls | grep -v '^log.txt$'); do
            if ! cmp -s "$work/old/$input.$k/$file" "$work/new/$input.$k/$file"; then
                echo "differs: $input [${option_sets[$k]}] $file"
                differ=$((differ + 1))
            fi
        done
        if [ "$(ls "$work/old/$input.$k" | sort)" != "$(ls "$work/new/$input.$k" | sort)" ]; then
            echo "other files: $input [${option_sets[$k]}]"
            differ=$((differ + 1))
        fi
    done
done
echo "$cases cases compared in $work: $differ differences"
[ "$differ" -eq 0 ]
