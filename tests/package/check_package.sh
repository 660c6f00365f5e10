#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the build tree into a scratch folder, checks
# its control fields and file list, unpacks it into a throw-away root and
# runs the programs from there.
#
#   check_package.sh BUILD_DIR VERSION
set -euo pipefail

build=$1
version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check_package: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" > "$scratch/cpack.log" 2>&1 \
  || { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$scratch"/orbicrop_"$version"_*.deb 2>/dev/null | head -n1)
[[ -n "$deb" ]] || fail "no orbicrop_${version}_*.deb in $(ls "$scratch")"

info=$(dpkg-deb --info "$deb")
echo "$info"
grep -q "^ Package: orbicrop$" <<<"$info" || fail "package name"
grep -q "^ Version: $version$" <<<"$info" || fail "version"
# A Debian description: the summary once, on the first line; then the long
# text, every line indented by one space, paragraphs parted by " .".
description=$(dpkg-deb --field "$deb" Description)
summary=$(head -n1 <<<"$description")
[[ "$summary" == "center and crop planetary videos" ]] || fail "description summary: $summary"
long=$(tail -n +2 <<<"$description")
[[ -n "$long" ]] || fail "no long description"
if grep -qvE '^ (\.|[^ ;].*)$' <<<"$long"; then
  fail "long description lines: $(grep -vE '^ (\.|[^ ;].*)$' <<<"$long")"
fi
if grep -qiF "$summary" <<<"$long"; then
  fail "the summary is repeated in the long description"
fi
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
# The runtime libraries the programs link, as Debian 12 names their packages.
for library in libqt6widgets6 libqt6gui6 libqt6core6 libavformat libavcodec libavutil libswscale libpng16-16 libtiff6 libcfitsio10 libopencv-core libopencv-imgproc libc6 libstdc++6; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done

contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
echo "$contents"
for file in ./usr/bin/orbicrop ./usr/bin/orbicrop-cli ./usr/lib/orbicrop/orbicrop-ffmpeg.so ./usr/lib/orbicrop/orbicrop-stills.so \
            ./usr/lib/orbicrop/orbicrop-demosaic.so \
            ./usr/share/applications/orbicrop.desktop \
            ./usr/share/icons/hicolor/scalable/apps/orbicrop.svg \
            ./usr/share/icons/hicolor/128x128/apps/orbicrop.png \
            ./usr/share/mime/packages/orbicrop.xml \
            ./usr/share/man/man1/orbicrop.1.gz ./usr/share/man/man1/orbicrop-cli.1.gz \
            ./usr/share/doc/orbicrop/copyright; do
  grep -qxF "$file" <<<"$contents" || fail "missing $file"
done

root=$scratch/root
dpkg -x "$deb" "$root"
"$root/usr/bin/orbicrop-cli" --version | grep -qxF "orbicrop-cli $version" || fail "orbicrop-cli --version"
# FFmpeg is the module's to load, not the programs': an AVI goes through the
# module the package put in /usr/lib/orbicrop.
for program in orbicrop orbicrop-cli; do
  if readelf -d "$root/usr/bin/$program" | grep -E 'NEEDED.*lib(av|sw)'; then
    fail "$program links FFmpeg itself"
  fi
done
"$build/bin/orbicrop-make-sample" --frames 3 "$scratch/clip.avi" > /dev/null || fail "orbicrop-make-sample"
"$root/usr/bin/orbicrop-cli" -q -o "$scratch" "$scratch/clip.avi" > "$scratch/run.log" 2>&1 \
  || { cat "$scratch/run.log" >&2; fail "orbicrop-cli on an AVI"; }
[[ -s "$scratch/clip_orbic.avi" ]] || fail "orbicrop-cli wrote no clip_orbic.avi"
grep -qxF "Exec=orbicrop %F" "$root/usr/share/applications/orbicrop.desktop" || fail "desktop Exec"
grep -q "^MimeType=.*video/x-ser;" "$root/usr/share/applications/orbicrop.desktop" || fail "desktop MimeType"
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$root/usr/share/applications/orbicrop.desktop" || fail "desktop entry invalid"
fi
head -n1 "$root/usr/share/doc/orbicrop/copyright" \
  | grep -qxF "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" || fail "copyright format"
for page in orbicrop orbicrop-cli; do
  warnings=$(zcat "$root/usr/share/man/man1/$page.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
  [[ -z "$warnings" ]] || fail "$page.1: $warnings"
done
echo "check_package: $deb is complete"
