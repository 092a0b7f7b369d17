#!/usr/bin/env bash
# Runs a Windows test executable under Wine in a private, throw-away prefix.
# Usage: tests/wine/run-unit-tests.sh EXE [gtest arguments...]
set -euo pipefail

exe=$1
shift
prefix=$(mktemp -d /tmp/vellum-wine.XXXXXX)
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT

wineboot -i >/dev/null 2>&1
# Without a window manager, unmanaged windows close at once instead of
# stalling on every close.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w
wine "$exe" "$@"
