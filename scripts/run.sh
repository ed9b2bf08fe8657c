#!/usr/bin/env bash
# The main job: installs what is missing, builds the program it runs (and
# nothing else: no test), runs it.
#   ./scripts/run.sh            on a desktop (DISPLAY or WAYLAND_DISPLAY set):
#                               opens the window `fennick` with a generated
#                               sample clip (build/sample/) in its list;
#                               without a display: converts that clip into the
#                               default output format, in build/sample-output/,
#                               and prints the result line
#   ./scripts/run.sh ARGS...    runs fennick-convert ARGS... (see --help)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh >&2
if (($#)); then
  ./scripts/build.sh fennick-convert >&2
  exec ./build/bin/fennick-convert "$@"
fi

sample=build/sample/sample.mp4
if [ ! -s "$sample" ]; then
  mkdir -p build/sample
  # Three seconds of test pattern with a 440 Hz tone.
  ffmpeg -hide_banner -nostdin -loglevel error -y \
    -f lavfi -i testsrc=size=320x240:rate=25:duration=3 \
    -f lavfi -i sine=frequency=440:duration=3 \
    -c:v mpeg4 -pix_fmt yuv420p -c:a aac "$sample"
fi

if [[ -n ${DISPLAY:-} || -n ${WAYLAND_DISPLAY:-} ]]; then
  ./scripts/build.sh fennick >&2
  echo "Opening the window with $sample in its list."
  exec ./build/bin/fennick "$sample"
fi

./scripts/build.sh fennick-convert >&2
out=build/sample-output
mkdir -p "$out"
echo "No display here (DISPLAY and WAYLAND_DISPLAY are unset), so the sample is converted"
echo "without the window. On a desktop, ./scripts/run.sh opens the window (build/bin/fennick)."
echo "Converting $sample into $out/ with the default output format:"
exec ./build/bin/fennick-convert --overwrite -o "$out" "$sample"
