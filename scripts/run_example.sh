#!/usr/bin/env bash
# Sets up and builds the module, then runs the example job.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
bash "$here/scripts/build.sh" "$here/build"
PYTHONPATH="$here/build" /usr/bin/python3 - <<'PY'
import Vombrelle1pt0_Submission as V
print(V.__doc__)
for name, obj in vars(V).items():
    if callable(obj) and getattr(obj, "__module__", None) is None or name[0].isupper() or name.islower() and callable(obj):
        pass
print("\n".join(n for n, o in vars(V).items() if callable(o) and type(o).__name__ == "builtin_function_or_method"))
PY
