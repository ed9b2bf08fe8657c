#!/usr/bin/env bash
# The Debian package and the shell completion, checked with the desktop's
# and Debian's own tools.
#   package_test.sh package BUILD_DIR      packs the build (cpack, no second
#       build) and checks the package: its fields, its files in their places,
#       the desktop entry, the metainfo and the manual pages
#   package_test.sh completion BUILD_DIR SOURCE_DIR
#       drives the completion function in bash as Tab would
# Exit 77 (skipped) when a tool is missing; deps.sh --tests installs them.
set -uo pipefail
mode=$1 build=$2
bin=$build/bin
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (./scripts/deps.sh --tests): skipped"; exit 77; }
  done
}

# The options --help describes, each once ("-f", "--format", "--set" ...):
# the terms of its option lines, which start with two blanks and "-" and
# end at column 26 (a longer one at two blanks).
help_options() {
  "$1" --help | awk '/^  -/ { t = (length($0) < 26 || substr($0, 26, 1) == " ") ? substr($0, 3, 24) : substr($0, 3); sub(/  .*/, "", t); print t }' |
    grep -oE -- '--?[a-zA-Z][-a-zA-Z]*' | sort -u
}

package_check() {
  need cpack dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli man
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  (cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; return; }
  local deb
  deb=$(ls "$work"/fennick_*_amd64.deb 2>/dev/null)
  [ -f "$deb" ] || { fail "no fennick_VERSION_amd64.deb in $(ls "$work")"; return; }

  # One version everywhere: the file name, the package and both programs.
  local version
  version=$(dpkg-deb -f "$deb" Version)
  [ "$(basename "$deb")" = "fennick_${version}_amd64.deb" ] || fail "file name $(basename "$deb") for version $version"
  for program in fennick fennick-convert; do
    [ "$("$bin/$program" --version)" = "$program $version" ] || fail "$program --version: $("$bin/$program" --version)"
  done
  [ "$(dpkg-deb -f "$deb" Package)" = fennick ] || fail "package name $(dpkg-deb -f "$deb" Package)"
  # The libraries linked (dpkg-shlibdeps) and those loaded at run time.
  local depends
  depends=$(dpkg-deb -f "$deb" Depends | tr -d ' ' | tr ',' '\n' | sed 's/(.*//')
  for package in libc6 libstdc++6 libqt6widgets6 libavcodec59 libavformat59 libavutil57 libswscale6 libswresample4 \
                 libopencore-amrnb0 libqt6multimedia6 libqt6svg6 xdg-utils; do
    grep -qx "$package" <<<"$depends" || fail "Depends lacks $package: $(dpkg-deb -f "$deb" Depends)"
  done

  local contents
  contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}' | sed 's|^\./|/|')
  local files=(/usr/bin/fennick /usr/bin/fennick-convert /usr/share/applications/fennick.desktop
               /usr/share/metainfo/example.quarvel.fennick.metainfo.xml /usr/share/icons/hicolor/scalable/apps/fennick.svg
               /usr/share/man/man1/fennick.1.gz /usr/share/man/man1/fennick-convert.1.gz
               /usr/share/bash-completion/completions/fennick-convert /usr/share/fennick/help/index.html
               /usr/share/fennick/translations/fennick_de.qm /usr/share/doc/fennick/copyright)
  for size in 16 22 24 32 48 64 128 256; do files+=("/usr/share/icons/hicolor/${size}x${size}/apps/fennick.png"); done
  for file in "${files[@]}"; do
    grep -qx "$file" <<<"$contents" || fail "not in the package: $file"
  done

  local root=$work/root
  dpkg-deb -x "$deb" "$root"
  for size in 16 22 24 32 48 64 128 256; do
    # A PNG's width and height are the big-endian words at bytes 16 and 20.
    local dims
    dims=$(od -An -tu1 -j16 -N8 "$root/usr/share/icons/hicolor/${size}x${size}/apps/fennick.png" 2>/dev/null |
           awk '{print $3*256+$4 "x" $7*256+$8}')
    [ "$dims" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $dims"
  done
  desktop-file-validate "$root/usr/share/applications/fennick.desktop" || fail "desktop-file-validate"
  local mimetypes
  mimetypes=$(grep '^MimeType=' "$root/usr/share/applications/fennick.desktop")
  for type in video/mp4 video/x-matroska video/webm audio/mpeg audio/flac; do
    [[ $mimetypes == *"=$type;"* || $mimetypes == *";$type;"* ]] || fail "the desktop entry does not open $type"
  done
  appstreamcli validate --no-net "$root/usr/share/metainfo/example.quarvel.fennick.metainfo.xml" ||
    fail "appstreamcli validate"
  grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$root/usr/share/metainfo/example.quarvel.fennick.metainfo.xml" ||
    fail "the metainfo's release is not $version"

  # Each page renders without a warning and describes every option its
  # program's --help describes (as an entry of its own: a line starting
  # with the option), and fennick-convert's its exit statuses.
  for program in fennick fennick-convert; do
    local page=$root/usr/share/man/man1/$program.1.gz text
    text=$(MANWIDTH=200 man -l "$page" 2>"$work/man.err" | col -b)
    [ -s "$work/man.err" ] && fail "man -l $program.1: $(cat "$work/man.err")"
    grep -q "^NAME" <<<"$text" || fail "man -l $program.1 shows no NAME"
    while IFS= read -r option; do
      grep -qE -- "^ +(-[-a-z]+( [^ ,]+)?, )*$option( |,|\$)" <<<"$text" || fail "man $program does not describe $option"
    done < <(help_options "$bin/$program")
  done
  local exit_text
  exit_text=$(MANWIDTH=200 man -l "$root/usr/share/man/man1/fennick-convert.1.gz" 2>/dev/null | col -b |
              sed -n '/^EXIT STATUS/,/^[A-Z]/p')
  for status in 0 1 2 130 143; do
    grep -qw "$status" <<<"$exit_text" || fail "man fennick-convert: exit status $status not told"
  done
}

# COMPREPLY of fennick-convert's completion for the words given, one a line.
complete_words() {
  bash --norc --noprofile -c '
    [ -f /usr/share/bash-completion/bash_completion ] && source /usr/share/bash-completion/bash_completion
    source "$0"
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    _fennick_convert
    printf "%s\n" "${COMPREPLY[@]}"' "$source/dist/fennick-convert.bash" "$@"
}

completion_check() {
  source=$3
  need bash
  local offered
  offered=$(complete_words "$bin/fennick-convert" -f m)
  grep -qx mp4 <<<"$offered" || fail "fennick-convert -f m<Tab> offers: $offered"
  grep -qx mkv <<<"$offered" || fail "fennick-convert -f m<Tab> offers: $offered"
  [ -n "$offered" ] && grep -qvx 'm.*' <<<"$offered" && fail "fennick-convert -f m<Tab> offers names not starting with m: $offered"
  # The settings items of the format named by -f, after the "=" that bash
  # splits off, quoted for the shell.
  offered=$(complete_words "$bin/fennick-convert" -f mkv --set EncoderSpeed = Sm)
  [ "$offered" = 'Smaller\ Files' ] || fail "--set EncoderSpeed=Sm<Tab> with -f mkv offers: $offered"
  offered=$(complete_words "$bin/fennick-convert" --ov)
  [ "$offered" = --overwrite ] || fail "--ov<Tab> offers: $offered"
  # Saved presets are offered after --preset, never as formats after -f.
  local config
  config=$(mktemp -d)
  mkdir -p "$config/fennick/presets"
  printf '%s' '{"kind":"fennick-preset","version":1,"name":"Mine Small","settings":{"format":"MP3 - Mpeg Layer3 Audio (*.mp3)","items":["","","","","mp3","64 Kbps","22050 Hz","Mono"],"aspect":0,"volume":256}}' \
    >"$config/fennick/presets/Mine Small.json"
  offered=$(XDG_CONFIG_HOME=$config complete_words "$bin/fennick-convert" --preset Mi)
  [ "$offered" = 'Mine\ Small' ] || fail "--preset Mi<Tab> offers: $offered"
  offered=$(XDG_CONFIG_HOME=$config complete_words "$bin/fennick-convert" -f Mi)
  [ -z "$offered" ] || fail "-f Mi<Tab> offers: $offered"
  rm -rf "$config"
}

case $mode in
  package) package_check ;;
  completion) completion_check "$@" ;;
  *) echo "usage: $0 package|completion BUILD_DIR [SOURCE_DIR]"; exit 2 ;;
esac
if ((failures)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
