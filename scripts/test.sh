#!/usr/bin/env bash
# The test command: installs what is missing, builds, runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh --tests
./scripts/build.sh
ctest --test-dir build --output-on-failure -j2 "$@"
