#!/usr/bin/env bash
# Installs (with apt-get, non-interactively) whatever the build and the tests
# need and this machine does not have yet.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config libgtest-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libopencore-amrnb-dev ffmpeg
)
# The command-line tests check JSON output with python3.
command -v python3 >/dev/null || packages+=(python3)
# The job builder's tests convert under a decimal-comma locale; where the
# system has none they generate one with localedef from these definitions.
[ -e /usr/share/i18n/locales/de_DE ] || packages+=(locales)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
