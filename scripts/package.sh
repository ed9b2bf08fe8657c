#!/usr/bin/env bash
# Builds the Debian package build/fennick_VERSION_amd64.deb: installs what is
# missing (deps.sh), builds the programs, their manual pages and icons, and
# packs them with cpack, whose dpkg-shlibdeps names the libraries they need.
#   ./scripts/package.sh
#   apt-get install ./build/fennick_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
./scripts/build.sh fennick fennick-convert fennick_icons fennick_man
cd build
rm -f fennick_*_amd64.deb
cpack -G DEB
ls fennick_*_amd64.deb | sed 's|^|build/|'
