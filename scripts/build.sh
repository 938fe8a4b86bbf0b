#!/usr/bin/env bash
# Configures and builds into build/ (or $1) with Debian's interpreter, three jobs at a time
# (build machines are shared).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$here/build}
shift || true
cmake -S "$here" -B "$dir" -DVOMBRELLE_PYTHON=/usr/bin/python3 "$@" >/dev/null
cmake --build "$dir" -j 3
