#!/usr/bin/env bash
# Sets up, builds and runs every test: the core and the module, then the core once more
# under AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzzing harness for a bounded
# time (VOMBRELLE_FUZZ_SECONDS, 30 by default) when clang is there. Warnings are errors.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
bash "$here/scripts/build.sh" "$here/build" -DVOMBRELLE_WERROR=ON
(cd "$here/build" && ctest --output-on-failure -j 2)
bash "$here/scripts/build.sh" "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DVOMBRELLE_SANITIZE=ON -DVOMBRELLE_MODULE=OFF \
  -DVOMBRELLE_WERROR=ON
(cd "$here/build-asan" && ctest --output-on-failure)
if command -v clang++ >/dev/null; then
  bash "$here/scripts/build.sh" "$here/build-fuzz" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVOMBRELLE_FUZZ=ON -DVOMBRELLE_WERROR=ON -DVOMBRELLE_FUZZ_SECONDS="${VOMBRELLE_FUZZ_SECONDS:-30}"
  (cd "$here/build-fuzz" && ctest --output-on-failure -j 2)
else
  echo "scripts/test.sh: no clang++, so the fuzzing harnesses were not run (scripts/setup.sh installs it)" >&2
fi
