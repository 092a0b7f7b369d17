#!/usr/bin/env bash
# Runs a Windows test executable under Wine, in a throw-away prefix and on a
# private X server (Wine needs one to create windows).
# Usage: tests/wine/run-unit-tests.sh EXE [gtest arguments...]
set -euo pipefail

exe=$1
shift
prefix=$(mktemp -d /tmp/vellum-wine.XXXXXX)
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT

exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
read -r -t 15 number <&"$fd" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$number"

wineboot -i >/dev/null 2>&1
# Without a window manager, unmanaged windows close at once instead of
# stalling on every close.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w
wine "$exe" "$@"
