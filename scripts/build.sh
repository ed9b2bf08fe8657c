#!/usr/bin/env bash
# Configures and builds build/ (executables land in build/bin).
#   ./scripts/build.sh            everything, the tests included (GoogleTest
#                                 needed)
#   ./scripts/build.sh TARGET...  only these targets and what they need; a
#                                 build/ configured here for the first time
#                                 leaves the tests out, so GoogleTest is not
#                                 needed
set -euo pipefail
cd "$(dirname "$0")/.."
if (($#)); then
  if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
  fi
  cmake --build build --target "$@"
else
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null
  cmake --build build
fi
