#!/usr/bin/env bash
# Cross-builds the SWORD library for Windows (a static libsword.a) from
# Debian's own source package, for vellum-import.exe. Only what the import
# needs: zlib (Debian's libz-mingw-w64-dev) for the compressed modules, no
# ICU, cURL, CLucene, bzip2 or xz. Quick when the library is already built.
#
# Usage: tools/build-sword-windows.sh  (installs into build/sword-windows/prefix)
set -euo pipefail

case "${1:-}" in
  -h | --help)
    sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/build/sword-windows
prefix=$work/prefix
stamp=$prefix/built-from
toolchain=$root/cmake/mingw-w64-x86_64.cmake

version=$(dpkg-query -W -f='${source:Version}' libsword-dev 2>/dev/null || true)
[ -n "$version" ] || { echo "build-sword-windows: libsword-dev is not installed (make deps)" >&2; exit 1; }
if [ -f "$prefix/lib/libsword.a" ] && [ "$(cat "$stamp" 2>/dev/null)" = "sword $version" ]; then
  exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
# The source of the very version installed here, so that the Windows import
# reads modules as the Linux one does.
if ! apt-cache showsrc sword 2>/dev/null | grep -q "^Version: $version\$"; then
  echo "build-sword-windows: adding Debian's source lists"
  sources=/etc/apt/sources.list.d/debian.sources
  [ -f "$sources" ] || { echo "build-sword-windows: no $sources to take the mirror from" >&2; exit 1; }
  sed 's/^Types: deb$/Types: deb-src/' "$sources" | $sudo tee /etc/apt/sources.list.d/vellum-deb-src.sources >/dev/null
  $sudo apt-get update -qq
fi

echo "build-sword-windows: building the SWORD library $version for Windows"
rm -rf "$work"
mkdir -p "$work/download"
(cd "$work/download" && apt-get source -o APT::Sandbox::User=root --download-only -qq "sword=$version" >/dev/null)
dpkg-source --no-check -x "$work"/download/sword_*.dsc "$work/source" >/dev/null

# The library's own sources include <regex.h> in one file that uses none of
# it; its search uses C++11's <regex> (USECXX11REGEX). mingw-w64 has no
# regex.h, so an empty one stands in.
mkdir -p "$work/no-regex"
printf '/* Included by a file that uses none of it; the search uses <regex>. */\n' \
  >"$work/no-regex/regex.h"

# -fpermissive: a few of its files cast pointers to long, which is 32 bits on
# Windows; they only test the pointer for null.
cmake -S "$work/source" -B "$work/build" -G Ninja -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_CXX_FLAGS="-DUSECXX11REGEX -fpermissive -w" \
  -DLIBSWORD_LIBRARY_TYPE=Static \
  -DSWORD_NO_ICU=Yes -DSWORD_NO_CURL=Yes -DSWORD_NO_CLUCENE=Yes -DSWORD_NO_BZIP2=Yes \
  -DSWORD_NO_XZ=Yes -DSWORD_BUILD_UTILS=No -DSWORD_BUILD_EXAMPLES=No -DSWORD_BUILD_TESTS=No \
  -DREGEX_INCLUDE_DIR="$work/no-regex" \
  -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
  -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include >"$work/configure.log" 2>&1 ||
  { tail -20 "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" --target sword_static >"$work/build.log" 2>&1 ||
  { grep -m 20 -E "error|FAILED" "$work/build.log" >&2; exit 1; }

mkdir -p "$prefix/lib" "$prefix/include/sword"
cp "$work/build/libsword.a" "$prefix/lib/"
cp "$work/source"/include/*.h "$prefix/include/sword/"
cp "$work/build"/include/*.h "$prefix/include/sword/" 2>/dev/null || true
echo "sword $version" >"$stamp"
echo "build-sword-windows: $prefix/lib/libsword.a"
