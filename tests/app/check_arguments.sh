#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# `orbicrop --version` and `orbicrop --help` answer on standard output and
# exit 0 without opening a window: there is no display to open one on, so a
# window would end the program with an error.
#
#   check_arguments.sh ORBICROP VERSION
set -euo pipefail
program=$1
version=$2
fail() { echo "check_arguments: $*" >&2; exit 1; }
headless() { env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$program" "$@"; }

out=$(headless --version) || fail "--version exited with $?"
[[ "$out" == "orbicrop $version" ]] || fail "--version printed: $out"

help=$(headless --help) || fail "--help exited with $?"
echo "$help"
grep -qxF "Usage: orbicrop [FILE...]" <<<"$help" || fail "--help gives no usage line"
grep -q "^Settings: /.*/Orbicrop\.ini$" <<<"$help" || fail "--help does not name the settings file"
