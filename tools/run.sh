#!/usr/bin/env bash
# `make run`: starts the viewer on the bundled sample library (build/linux is
# laid out as its program folder) with a stand-in host beside it, and shows a
# first location. Without a display it does the same under Xvfb with a window
# manager, saves a screenshot to build/screenshot.png and ends on its own.
set -euo pipefail
cd "$(dirname "$0")/.."
program=build/linux
pids=()
cleanup() {
  # The clients first, the X server last.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
}
trap cleanup EXIT

headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  headless=1
  exec {fd}<> <(:)
  Xvfb -displayfd "$fd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  read -r -t 10 number <&"$fd" || { echo "make run: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$number"
  openbox >/dev/null 2>&1 &
  pids+=($!)
  sleep 0.5
fi

"$program/vellum-host" serve --answer --geometry 320x500+700+100 &
pids+=($!)
"$program/vellum" &
viewer=$!
pids+=($viewer)
"$program/vellum-host" wait --timeout 20
sleep 1
"$program/vellum-host" show ALP 1 2

if [ "$headless" = 1 ]; then
  sleep 2
  import -window root build/screenshot.png
  echo "make run: no display here, so Vellum ran under Xvfb; screenshot: $(pwd)/build/screenshot.png"
  "$program/vellum-host" close || true
  wait "$viewer" || true
else
  echo "make run: Vellum is running beside a stand-in host; close it with its X button."
  wait "$viewer" || true
fi
