#!/usr/bin/env bash
# Sets up, builds and runs every test: the core and the module, then the core once more
# under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
bash "$here/scripts/build.sh" "$here/build"
(cd "$here/build" && ctest --output-on-failure -j 2)
bash "$here/scripts/build.sh" "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DVOMBRELLE_SANITIZE=ON -DVOMBRELLE_MODULE=OFF
(cd "$here/build-asan" && ctest --output-on-failure)
