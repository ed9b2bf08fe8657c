#!/bin/bash
# Converts one generated clip (1280x720, 20 s, 25 fps, stereo 44.1 kHz) with
# the engine (fennick-bench) and with the ffmpeg command at one codec thread
# and the same settings, for three profiles; prints wall time and peak memory
# of each side and their ratio.
# Usage: bench/bench.sh [build-dir]   (default: build)
#        BENCH_AUDIO=0 bench/bench.sh  converts the video only
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
driver="$build/bin/fennick-bench"
[ -x "$driver" ] || { echo "build first: $driver not found" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

clip="$work/clip.mp4"
ffmpeg -hide_banner -nostdin -loglevel error -y \
  -f lavfi -i "testsrc2=size=1280x720:rate=25:duration=20" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=20" \
  -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p -c:a aac -b:a 128k -ac 2 "$clip"

# name | engine options (output side) | ffmpeg options (output side) | extension
profiles=(
  "mpeg4+aac|-vcodec mpeg4 -b 2000000 -acodec aac -ab 128000 -ar 44100 -ac 2|-c:v mpeg4 -b:v 2000k -c:a aac -b:a 128k -ar 44100 -ac 2|mp4"
  "libx264+aac|-vcodec libx264 -b 2000000 -acodec aac -ab 128000 -ar 44100 -ac 2|-c:v libx264 -b:v 2000k -c:a aac -b:a 128k -ar 44100 -ac 2|mp4"
  "mpeg2video+mp2|-vcodec mpeg2video -b 4000000 -acodec mp2 -ab 192000 -ar 44100 -ac 2|-c:v mpeg2video -b:v 4000k -c:a mp2 -b:a 192k -ar 44100 -ac 2|mpg"
)

# Runs a command under /usr/bin/time -v; prints "seconds kilobytes".
measure() {
  local log="$work/time.log"
  /usr/bin/time -v "$@" >/dev/null 2>"$log" || { echo "failed: $*" >&2; tail -5 "$log" >&2; return 1; }
  local wall kb
  wall=$(grep "Elapsed (wall clock)" "$log" | awk '{print $NF}')
  kb=$(grep "Maximum resident set size" "$log" | awk '{print $NF}')
  # m:ss.cc or h:mm:ss -> seconds
  echo "$(echo "$wall" | awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; print s }') $kb"
}

printf "%-16s %10s %10s %8s %12s %12s %8s\n" profile engine_s ffmpeg_s ratio engine_MB ffmpeg_MB ratio
for p in "${profiles[@]}"; do
  IFS='|' read -r name ours theirs ext <<<"$p"
  if [ "${BENCH_AUDIO:-1}" = 0 ]; then
    ours="${ours%% -acodec*} -an 1"
    theirs="${theirs%% -c:a*} -an"
  fi
  # shellcheck disable=SC2086
  read -r es ekb < <(measure "$driver" -i "$clip" $ours "$work/engine.$ext")
  # shellcheck disable=SC2086
  read -r fs fkb < <(measure ffmpeg -hide_banner -nostdin -loglevel error -y -threads 1 -i "$clip" $theirs -threads 1 "$work/ffmpeg.$ext")
  awk -v n="$name" -v es="$es" -v fs="$fs" -v ek="$ekb" -v fk="$fkb" 'BEGIN {
    printf "%-16s %10.2f %10.2f %8.2f %12.1f %12.1f %8.2f\n", n, es, fs, es / fs, ek / 1024, fk / 1024, ek / fk }'
done
