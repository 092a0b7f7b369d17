#!/usr/bin/env bash
# Lays out the Windows program folder (the executables beside the sample
# library and the licence), zips it for portable use
# (build/dist/vellum-windows.zip) and builds the installer from it with NSIS
# (build/dist/vellum-setup.exe).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/windows
dist=$root/build/dist
stage=$dist/Vellum

for file in vellum.exe vellum-host.exe vellum-check.exe vellum.nsi; do
  [ -f "$build/$file" ] || { echo "dist-windows: $build/$file is missing (make windows)" >&2; exit 1; }
done
rm -rf "$stage" "$dist/vellum-windows.zip" "$dist/vellum-setup.exe"
mkdir -p "$stage"
cp "$build/vellum.exe" "$build/vellum-host.exe" "$build/vellum-check.exe" "$stage/"
cp -r "$root/samples/library/." "$stage/"
# With Windows line ends, for Notepad and the installer's licence page.
sed 's/$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"
(cd "$dist" && /usr/bin/python3 -m zipfile -c vellum-windows.zip Vellum)
# The zip must hold a whole program folder.
listing=$(/usr/bin/python3 -m zipfile -l "$dist/vellum-windows.zip")
for entry in Vellum/vellum.exe Vellum/vellum-host.exe Vellum/vellum-check.exe Vellum/books.ini Vellum/web.htm/index.ini \
             Vellum/about/about.htm Vellum/LICENSE.txt; do
  grep -q "^$entry " <<<"$listing" || { echo "dist-windows: $entry missing from the zip" >&2; exit 1; }
done
echo "dist-windows: $dist/vellum-windows.zip ($(stat -c %s "$dist/vellum-windows.zip") bytes)"

makensis -V2 -DSTAGE="$stage" -DOUTFILE="$dist/vellum-setup.exe" "$build/vellum.nsi"
echo "dist-windows: $dist/vellum-setup.exe ($(stat -c %s "$dist/vellum-setup.exe") bytes)"
