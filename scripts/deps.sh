#!/usr/bin/env bash
# Installs (with apt-get, non-interactively) whatever this machine does not
# have yet of what building and running the converter need:
#   ./scripts/deps.sh           the build tools, the codec libraries' headers,
#                               the AMR-NB encoder and the ffmpeg command
#   ./scripts/deps.sh --tests   the same, and what the tests need besides
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libopencore-amrnb-dev ffmpeg
)
if [[ ${1:-} == --tests ]]; then
  packages+=(libgtest-dev)
  # The command-line tests check JSON output with python3.
  command -v python3 >/dev/null || packages+=(python3)
  # The job builder's tests convert under a decimal-comma locale; where the
  # system has none they generate one with localedef from these definitions.
  [ -e /usr/share/i18n/locales/de_DE ] || packages+=(locales)
elif (($#)); then
  echo "usage: $0 [--tests]" >&2
  exit 2
fi
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
