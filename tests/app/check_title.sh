#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The title an X window manager shows is the window's own, with nothing that
# Qt appends (an application display name would add " — Orbicrop"). The
# window is started as a file manager starts it, with a file to open.
#
#   check_title.sh ORBICROP "EXPECTED TITLE"
set -euo pipefail
program=$1
expected=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# A copy keeps its settings file in the scratch folder: the marker puts it
# there also for root, whose settings would otherwise go to ~/.config.
cp "$program" "$scratch/orbicrop"
: > "$scratch/Orbicrop.portable"
: > "$scratch/clip.avi"
export QT_QPA_PLATFORM=xcb
# While Qt creates the window, X may list it for a moment under the
# program's name before the title is set: the check waits up to 10 s for the
# title to settle, and shows what it saw last.
xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" bash -c '
  "$1/orbicrop" "$1/clip.avi" > /dev/null 2>&1 &
  app=$!
  for _ in $(seq 100); do
    xwininfo -root -tree | grep -F "\": (\"orbicrop\"" > "$1/windows" && grep -qF "\"$2\": (\"orbicrop\"" "$1/windows" && break
    sleep 0.1
  done
  kill "$app"; wait "$app" || true
' _ "$scratch" "$expected"
cat "$scratch/windows"
grep -qF "\"$expected\": (\"orbicrop\"" "$scratch/windows"
