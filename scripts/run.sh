#!/usr/bin/env bash
# The main job: installs what is missing, builds, runs the converter.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
./scripts/build.sh
exec ./build/bin/fennick-convert "$@"
