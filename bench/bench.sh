#!/bin/bash
# fennick-convert against the ffmpeg command at its defaults, on the same jobs
# and the same output settings, in one run, job by job, alternating (ours,
# ffmpeg, ffmpeg, ours, ours ...), so that a change of the machine's load hits
# both sides:
#   mp4 720p     the 720p clip (20 s) to "MP4 - MPEG4 Video (*.mp4)"
#   h264 720p    the same profile with VideoCodec H264
#   mp3 10 min   a 10-minute stereo AAC sound file to "MP3 - Mpeg Layer3 Audio"
#   h264 1080p   a 1080p clip (60 s) to the MP4 profile with VideoCodec H264
#   batch -j 2   eight short clips to the MP4 profile, fennick-convert -j 2
#                against ffmpeg run on them one after another
# Each side's wall time, processor time (user + system) and peak memory are
# the median of the rounds; the ratios are ours / ffmpeg's (targets: wall at
# most 0.85 on the MP4 and MP3 jobs and 0.95 on the H.264 ones, processor
# time at most 1.05, memory at most 1.0).
# The inputs are generated into a temporary folder and removed afterwards
# (1280x720 and 1920x1080 25 fps H.264 + stereo AAC; the batch clips 640x360,
# 4 s).
# Usage: bench/bench.sh [build-dir]      (default: build)
#        BENCH_ROUNDS=N bench/bench.sh    rounds per job (default 3)
#        BENCH_JOBS="mp4 mp3" bench/bench.sh   only these jobs (of: mp4 h264
#                                         mp3 h264_1080 batch)
#        BENCH_THREADS=N bench/bench.sh   fennick-convert --threads N (default:
#                                         its own, the machine's)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build}"
convert="$build/bin/fennick-convert"
[ -x "$convert" ] || { echo "build first: $convert not found" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed (apt-get install time)" >&2; exit 1; }
rounds="${BENCH_ROUNDS:-3}"
read -r -a jobs_ <<<"${BENCH_JOBS:-mp4 h264 mp3 h264_1080 batch}"
ours_extra=()
[ -n "${BENCH_THREADS:-}" ] && ours_extra=(--threads "$BENCH_THREADS")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

gen() {  # gen OUTPUT SIZE SECONDS
  ffmpeg -hide_banner -nostdin -loglevel error -y \
    -f lavfi -i "testsrc2=size=$2:rate=25:duration=$3" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$3" \
    -c:v libx264 -preset veryfast -crf 20 -pix_fmt yuv420p -c:a aac -b:a 128k -ac 2 "$1"
}
has() { [[ " ${jobs_[*]} " == *" $1 "* ]]; }
mkdir -p "$work/in"
if has mp4 || has h264; then gen "$work/in/clip.mp4" 1280x720 20; fi
if has h264_1080; then gen "$work/in/clip1080.mp4" 1920x1080 60; fi
if has mp3; then
  # Noise under a tone that glides, so that the encoder has work to do.
  ffmpeg -hide_banner -nostdin -loglevel error -y \
    -f lavfi -i "aevalsrc=0.3*sin(2*PI*(220+110*sin(0.05*t))*t)|0.3*sin(2*PI*(330+50*sin(0.07*t))*t):s=44100:d=600" \
    -f lavfi -i "anoisesrc=color=pink:amplitude=0.05:sample_rate=44100:duration=600" \
    -filter_complex "[1]pan=stereo|c0=c0|c1=c0[n];[0][n]amix=inputs=2:normalize=0" \
    -c:a aac -b:a 160k "$work/in/sound.m4a"
fi
batch=()
if has batch; then
  for i in 1 2 3 4 5 6 7 8; do
    gen "$work/in/short$i.mp4" 640x360 4
    batch+=("$work/in/short$i.mp4")
  done
fi

# The profiles' defaults: MP4 with MPEG4 (or H264) at 1200 kbit/s, the
# source's size and rate, AAC 128 kbit/s, 44100 Hz, stereo; MP3 192 kbit/s,
# 48000 Hz, stereo. ffmpeg converts the files one after the other, each at its
# own defaults otherwise (codec threads included).
cat >"$work/ffmpeg_run.sh" <<'SCRIPT'
#!/bin/bash
# ffmpeg_run.sh KIND OUTDIR INPUT...   (KIND: mpeg4, libx264 or mp3)
kind=$1 dir=$2
shift 2
for f in "$@"; do
  name="$dir/$(basename "${f%.*}")"
  if [ "$kind" = mp3 ]; then
    ffmpeg -hide_banner -nostdin -loglevel error -y -i "$f" -vn -c:a libmp3lame -b:a 192k -ar 48000 -ac 2 \
      "$name.mp3" || exit 1
  else
    ffmpeg -hide_banner -nostdin -loglevel error -y -i "$f" -c:v "$kind" -b:v 1200k \
      -c:a aac -b:a 128k -ar 44100 -ac 2 "$name.mp4" || exit 1
  fi
done
SCRIPT
chmod +x "$work/ffmpeg_run.sh"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# measure NAME COMMAND...: runs it in a fresh output folder under
# /usr/bin/time; appends "wall cpu kilobytes bytes-written" to $work/NAME.
measure() {
  local name=$1
  shift
  local out="$work/out"
  rm -rf "$out" && mkdir -p "$out"
  local log="$work/time.log"
  if ! /usr/bin/time -f "%e %U %S %M" -o "$log" "$@" >/dev/null 2>"$work/err.log"; then
    echo "failed: $*" >&2
    tail -5 "$work/err.log" >&2
    exit 1
  fi
  local bytes
  bytes=$(du -cb "$out" | tail -1 | cut -f1)
  awk -v b="$bytes" '{ printf "%s %.2f %s %s\n", $1, $2 + $3, $4, b }' "$log" >>"$work/$name"
}

median() {  # median FILE COLUMN
  cut -d' ' -f"$2" "$1" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

declare -A label=([mp4]="mp4 720p" [h264]="h264 720p" [mp3]="mp3 10 min" [h264_1080]="h264 1080p"
  [batch]="batch -j 2")
declare -A wall_target=([mp4]=0.85 [h264]=0.95 [mp3]=0.85 [h264_1080]=0.95 [batch]=0.85)
# What each job hands our side (before the output folder and the inputs)
# and which conversion ffmpeg_run.sh makes for it.
declare -A ours_args=([mp4]="-f mp4" [h264]="-f mp4 --set VideoCodec=H264" [mp3]="-f mp3"
  [h264_1080]="-f mp4 --set VideoCodec=H264" [batch]="-j 2 -f mp4")
declare -A ffmpeg_kind=([mp4]=mpeg4 [h264]=libx264 [mp3]=mp3 [h264_1080]=libx264 [batch]=mpeg4)
# run_side SIDE JOB: one timed conversion of the job by "ours" or "ffmpeg".
run_side() {
  local side=$1 job=$2 inputs args
  case $job in
    mp4 | h264) inputs=("$work/in/clip.mp4") ;;
    mp3) inputs=("$work/in/sound.m4a") ;;
    h264_1080) inputs=("$work/in/clip1080.mp4") ;;
    batch) inputs=("${batch[@]}") ;;
    *) echo "unknown job $job" >&2; exit 2 ;;
  esac
  if [ "$side" = ours ]; then
    read -r -a args <<<"${ours_args[$job]}"
    measure "$job.ours" "$convert" "${ours_extra[@]}" "${args[@]}" -o "$work/out" "${inputs[@]}"
  else
    measure "$job.ffmpeg" "$work/ffmpeg_run.sh" "${ffmpeg_kind[$job]}" "$work/out" "${inputs[@]}"
  fi
}

# The rounds of a job follow each other, and the side that starts a round
# alternates: a conversion right after one of the same job finds the memory
# that one freed still mapped by the virtual machine's host, while one after
# a smaller job faults in fresh memory (a second of kernel time for 1080p
# H.264), which would always hit the side that starts.
for job in "${jobs_[@]}"; do
  for ((r = 1; r <= rounds; r++)); do
    if ((r % 2)); then
      run_side ours "$job"
      run_side ffmpeg "$job"
    else
      run_side ffmpeg "$job"
      run_side ours "$job"
    fi
  done
done

echo "machine: $(nproc) cores; load average (1, 5, 15 min) before: $load_before, after: $(cut -d' ' -f1-3 /proc/loadavg)"
printf "%-11s | %8s %8s %6s %5s | %8s %8s %6s | %8s %8s %6s | %s\n" job "ours s" "ffm s" wall target \
  "ours cpu" "ffm cpu" cpu "ours MB" "ffm MB" mem "output MB ours/ffm"
for job in "${jobs_[@]}"; do
  ow=$(median "$work/$job.ours" 1) fw=$(median "$work/$job.ffmpeg" 1)
  oc=$(median "$work/$job.ours" 2) fc=$(median "$work/$job.ffmpeg" 2)
  om=$(median "$work/$job.ours" 3) fm=$(median "$work/$job.ffmpeg" 3)
  ob=$(median "$work/$job.ours" 4) fb=$(median "$work/$job.ffmpeg" 4)
  awk -v n="${label[$job]}" -v t="${wall_target[$job]}" -v ow="$ow" -v fw="$fw" -v oc="$oc" -v fc="$fc" \
    -v om="$om" -v fm="$fm" -v ob="$ob" -v fb="$fb" 'BEGIN {
      printf "%-11s | %8.2f %8.2f %6.2f %5.2f | %8.2f %8.2f %6.2f | %8.1f %8.1f %6.2f | %.2f/%.2f\n",
        n, ow, fw, ow / fw, t, oc, fc, oc / fc, om / 1024, fm / 1024, om / fm, ob / 1048576, fb / 1048576 }'
done
echo "(medians of $rounds rounds; ratio = ours / ffmpeg; targets: wall as listed, cpu <= 1.05, mem <= 1.00)"
