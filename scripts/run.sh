#!/usr/bin/env bash
# The main job: installs what is missing, builds the converter (and nothing
# else: no test), runs it.
#   ./scripts/run.sh            converts a generated sample clip (build/sample/)
#                               into the default output format, in
#                               build/sample-output/, and prints the result lines
#   ./scripts/run.sh ARGS...    runs fennick-convert ARGS... (see --help)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh >&2
./scripts/build.sh fennick-convert >&2
bin=./build/bin/fennick-convert
if (($#)); then
  exec "$bin" "$@"
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
out=build/sample-output
mkdir -p "$out"
echo "Converting $sample into $out/ with the default output format:"
exec "$bin" --overwrite -o "$out" "$sample"
