#!/usr/bin/env bash
# Lays out the Windows program folder (the executables beside the sample
# library) and zips it: build/dist/vellum-windows.zip.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/windows
dist=$root/build/dist
stage=$dist/Vellum

for exe in vellum.exe vellum-host.exe vellum-check.exe; do
  [ -f "$build/$exe" ] || { echo "dist-windows: $build/$exe is missing (make windows)" >&2; exit 1; }
done
rm -rf "$stage" "$dist/vellum-windows.zip"
mkdir -p "$stage"
cp "$build/vellum.exe" "$build/vellum-host.exe" "$build/vellum-check.exe" "$stage/"
cp -r "$root/samples/library/." "$stage/"
(cd "$dist" && /usr/bin/python3 -m zipfile -c vellum-windows.zip Vellum)
# The zip must hold a whole program folder.
listing=$(/usr/bin/python3 -m zipfile -l "$dist/vellum-windows.zip")
for entry in Vellum/vellum.exe Vellum/vellum-host.exe Vellum/vellum-check.exe Vellum/books.ini Vellum/web.htm/index.ini \
             Vellum/about/about.htm; do
  grep -q "^$entry " <<<"$listing" || { echo "dist-windows: $entry missing from the zip" >&2; exit 1; }
done
echo "dist-windows: $dist/vellum-windows.zip ($(stat -c %s "$dist/vellum-windows.zip") bytes)"
