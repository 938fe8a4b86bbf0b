#!/usr/bin/env bash
# Sets up and builds the module, then runs the example job.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
bash "$here/scripts/build.sh" "$here/build"
PYTHONPATH="$here/build" /usr/bin/python3 - <<'PY'
import Vombrelle1pt0_Submission as V
print(V.__doc__)
print()
for name, obj in vars(V).items():
    if type(obj).__name__ == "builtin_function_or_method" and not name.startswith("_"):
        print(name)
PY
