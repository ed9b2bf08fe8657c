#!/usr/bin/env bash
# Installs (with apt-get, non-interactively) whatever this machine does not
# have yet of what building and running the converter need:
#   ./scripts/deps.sh           the build tools, the codec libraries' headers,
#                               the AMR-NB encoder, the ffmpeg command, Qt 6
#                               for the window and what the package is made
#                               with
#   ./scripts/deps.sh --tests   the same, and what the tests need besides
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev
  libopencore-amrnb-dev ffmpeg
  # The window: Qt 6 Widgets and Multimedia for building it; libqt6gui6 holds
  # the platform plugins (xcb for a desktop, offscreen for the tests) and
  # libqt6multimedia6 the FFmpeg media backend the preview plays through.
  qt6-base-dev qt6-multimedia-dev libqt6gui6 libqt6multimedia6 libqt6multimediawidgets6
  # The window's pictures are SVG; libqt6svg6 holds the plugins that draw them.
  libqt6svg6
  # The window's translations: lupdate and lrelease (qt6-l10n-tools) with
  # their CMake functions (qt6-tools-dev); Qt's own catalogues translate the
  # standard dialogs' buttons (qt6-translations-l10n).
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  # The desktop's launcher of addresses (the help page, the web site, mail).
  xdg-utils
  # The icon's PNG sizes are rendered from its SVG, the manual pages written
  # from the programs' --help by a Python script (python3 also checks the
  # command line's JSON in the tests); cpack's Debian package asks
  # dpkg-shlibdeps for the libraries the programs link, and finds the
  # programs with the file command (which a bare system lacks).
  librsvg2-bin python3 dpkg-dev file
)
if [[ ${1:-} == --tests ]]; then
  packages+=(libgtest-dev)
  # The job builder's tests convert under a decimal-comma locale; where the
  # system has none they generate one with localedef from these definitions.
  [ -e /usr/share/i18n/locales/de_DE ] || packages+=(locales)
  # The window's screenshots need a font under the offscreen platform.
  packages+=(fonts-dejavu-core)
  # The window's desktop test runs on a real X server, Xvfb.
  packages+=(xvfb xauth)
  # The package's test checks the desktop entry, the metainfo, the manual
  # pages and the shell completion with the desktop's own tools.
  packages+=(desktop-file-utils appstream man-db bash-completion)
  # The end-of-run tests run a message bus of their own (dbus-daemon).
  packages+=(dbus)
elif (($#)); then
  echo "usage: $0 [--tests]" >&2
  exit 2
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The German window's tests run as on a German desktop, where the locale is
# installed (and the program's numbers must not follow its decimal comma).
if [[ ${1:-} == --tests ]] && ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "Generating the de_DE.UTF-8 locale"
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
