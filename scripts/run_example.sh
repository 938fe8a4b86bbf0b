#!/usr/bin/env bash
# The main job on a fresh machine: sets up, builds and installs the module, generates the example
# fraction (examples/F1, the same bytes on every run) and runs the example driver on it the way a
# user does: from another folder, importing the installed module, without PYTHONPATH.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
bash "$here/scripts/build.sh" "$here/build"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO cmake --install "$here/build"

/usr/bin/python3 "$here/tools/make_fraction.py" "$here/examples/F1" --seed 1 --groups 300 --fraction F1 >/dev/null

elsewhere=$(mktemp -d)
trap 'rm -rf "$elsewhere"' EXIT
cd "$elsewhere"
# The driver's first line names the module file it imported: the installed one.
env -u PYTHONPATH /usr/bin/python3 "$here/examples/xl_driver.py" "$here/examples/F1"
echo
echo "First lines of $here/examples/F1/result.tsv:"
head -n 4 "$here/examples/F1/result.tsv"
