#!/usr/bin/env bash
# `make run`: shows what the viewer finds in the bundled sample library, laid
# out in build/linux as a program folder.
set -euo pipefail
cd "$(dirname "$0")/.."
exec build/linux/vellum-inspect "$@"
