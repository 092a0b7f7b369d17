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

for file in vellum.exe vellum-host.exe vellum-check.exe vellum-import.exe vellum.nsi about/about.htm; do
  [ -f "$build/$file" ] || { echo "dist-windows: $build/$file is missing (make windows)" >&2; exit 1; }
done
rm -rf "$stage" "$dist/vellum-windows.zip" "$dist/vellum-setup.exe" "$dist/library-files.nsh"
mkdir -p "$stage"
cp "$build/vellum.exe" "$build/vellum-host.exe" "$build/vellum-check.exe" \
  "$build/vellum-import.exe" "$stage/"
cp -r "$root/samples/library/." "$stage/"
cp -r "$build/about" "$stage/"
# With Windows line ends, for Notepad and the installer's licence page.
sed 's/$/\r/' "$root/LICENSE" >"$stage/LICENSE.txt"
(cd "$dist" && /usr/bin/python3 -m zipfile -c vellum-windows.zip Vellum)
# The zip must hold a whole program folder.
listing=$(/usr/bin/python3 -m zipfile -l "$dist/vellum-windows.zip")
for entry in Vellum/vellum.exe Vellum/vellum-host.exe Vellum/vellum-check.exe \
             Vellum/vellum-import.exe Vellum/books.ini Vellum/web.htm/index.ini \
             Vellum/about/about.htm Vellum/LICENSE.txt; do
  grep -q "^$entry " <<<"$listing" || { echo "dist-windows: $entry missing from the zip" >&2; exit 1; }
done
echo "dist-windows: $dist/vellum-windows.zip ($(stat -c %s "$dist/vellum-windows.zip") bytes)"

# What the uninstaller removes of the bundled library: its files one by one,
# then its folders, deepest first, each only when it is empty, so that
# whatever the user added there stays.
library_files=$dist/library-files.nsh
{
  (cd "$stage" && find about web.htm -type f | LC_ALL=C sort) | while IFS= read -r file; do
    printf '  Delete "$INSTDIR\\%s"\n' "$(sed 's/\$/$$/g; s|/|\\|g' <<<"$file")"
  done
  (cd "$stage" && find about web.htm -depth -type d) | while IFS= read -r folder; do
    printf '  RMDir "$INSTDIR\\%s"\n' "$(sed 's/\$/$$/g; s|/|\\|g' <<<"$folder")"
  done
} >"$library_files"

makensis -V2 -DSTAGE="$stage" -DOUTFILE="$dist/vellum-setup.exe" -DLIBRARY_FILES="$library_files" \
  "$build/vellum.nsi"
echo "dist-windows: $dist/vellum-setup.exe ($(stat -c %s "$dist/vellum-setup.exe") bytes)"
