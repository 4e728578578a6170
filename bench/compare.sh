#!/usr/bin/env bash
# Capture throughput of the whole capture core (fwbench) against dd writing
# the same bytes and ffmpeg remuxing the same raw frames into a QuickTime
# movie, in one run on one folder, for 1920x1080 and 3840x2160 '2vuy' frames.
# Each tool's data end with an fdatasync of its file. See bench/README.md.
#
# Usage: bench/compare.sh [--build DIR] [--folder DIR] [--gib N] [--reps N]
#                         [--rate R] [--settle S] [--paced | --paced-only]
#   --build       the build folder holding bin/fwbench and bin/fwmov (build)
#   --folder      where the files are written (BUILD/fwbench-files); put it on
#                 the disk you mean to measure, not on tmpfs
#   --gib         payload of each run in GiB (2); fewer when the folder lacks room
#   --reps        runs of each tool and frame size, in rotating order (3)
#                 (tools: fwbench, dd in frame-sized and in 32 KiB blocks, ffmpeg)
#   --rate        the movie's frames per second, ffmpeg's -r (60)
#   --settle      seconds of rest after the sync before each run (5), so each
#                 run starts alike (see bench/README.md)
#   --paced       then a paced capture: 1920x1080 at 60 frames a second for
#                 60 seconds (about 15 GB), reporting the capture loop's waits
#   --paced-only  only the paced capture
set -euo pipefail
cd "$(dirname "$0")/.."

build=build folder="" gib=2 reps=3 rate=60 settle=5 compare=1 paced=0
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --folder) folder=$2; shift 2 ;;
    --gib) gib=$2; shift 2 ;;
    --reps) reps=$2; shift 2 ;;
    --rate) rate=$2; shift 2 ;;
    --settle) settle=$2; shift 2 ;;
    --paced) paced=1; shift ;;
    --paced-only) paced=1; compare=0; shift ;;
    -h|--help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "compare.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
for n in "$gib" "$reps" "$rate"; do
  [[ "$n" =~ ^[1-9][0-9]*$ ]] || { echo "compare.sh: --gib, --reps and --rate take whole numbers above 0" >&2; exit 2; }
done
[[ "$settle" =~ ^[0-9]+$ ]] || { echo "compare.sh: --settle takes a whole number of seconds" >&2; exit 2; }
fwbench=$build/bin/fwbench fwmov=$build/bin/fwmov
for tool in "$fwbench" "$fwmov"; do
  [ -x "$tool" ] || { echo "compare.sh: $tool is not built (cmake --build $build --target fwbench fwmov)" >&2; exit 1; }
done
for tool in dd ffmpeg jq; do
  command -v "$tool" >/dev/null || { echo "compare.sh: $tool is missing (scripts/install-deps)" >&2; exit 1; }
done
folder=${folder:-$build/fwbench-files}
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)

raw="" fifo="" feeder="" src="" secs="" source_note="" ffmpeg_moov=""
cleanup() {
  [ -n "$feeder" ] && kill "$feeder" 2>/dev/null || true
  rm -f "$folder/fwbench.mov" "$folder/dd.out" "$folder/ffmpeg.mov" "$folder/fwbench-small.mov" \
    "$folder/ffmpeg-small.mov" "$folder/paced.mov" "$folder/fwbench.json" ${raw:+"$raw"} ${fifo:+"$fifo"}
}
trap cleanup EXIT

now() { date +%s%N; }
# Before each run: the previous run's data on the disk, and a rest. Memory
# just freed (the previous file's page cache, a process's buffers) is cheap
# to take again for a few seconds on a virtual machine that hands freed
# memory back to its host, and dear afterwards: without the rest, whichever
# tool runs second would be favoured.
settle() { sync; sleep "$settle"; }
seconds_since() { echo "$(( $(now) - $1 ))" | awk '{printf "%.6f", $1 / 1e9}'; }
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
free_kib() { df -Pk "$1" | awk 'NR == 2 {print $4}'; }
load() { awk '{print $1, $2, $3}' /proc/loadavg; }
# Size of the top-level movie atom of a movie file.
moov_bytes() { "$fwmov" "$1" | jq '[.atoms[] | select(.depth == 0 and .type == "moov") | .size] | first'; }

# The raw frames for dd and ffmpeg come from memory, so both are measured
# writing, not reading: a file in /dev/shm when it has room (with as much
# again left for the page cache), else a named pipe that fwbench fills from
# its frames in memory for each run.
prepare_source() {  # width height frames bytes
  local mem_kib
  mem_kib=$(awk '/^MemAvailable:/ {print $2}' /proc/meminfo)
  rm -f ${raw:+"$raw"} ${fifo:+"$fifo"}
  raw="" fifo=""
  if [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(free_kib /dev/shm)" -gt $(( $4 / 1024 + 65536 )) ] &&
     [ "$mem_kib" -gt $(( 2 * ($4 / 1024) + 1048576 )) ]; then
    raw=/dev/shm/fwbench-frames-$$.yuv
    "$fwbench" --width "$1" --height "$2" --frames "$3" --emit-raw "$raw"
    source_note="a file in /dev/shm"
  else
    fifo=$folder/frames-$$.fifo
    mkfifo "$fifo"
    source_note="a named pipe fed by fwbench from memory (/dev/shm lacks room)"
  fi
}
# Where dd and ffmpeg read, into $src: the file, or the pipe with a fresh
# feeder.
open_source() {  # width height frames
  if [ -n "$raw" ]; then
    src=$raw
  else
    "$fwbench" --width "$1" --height "$2" --frames "$3" --emit-raw "$fifo" >/dev/null &
    feeder=$!
    src=$fifo
  fi
}
close_source() {
  if [ -n "$feeder" ]; then wait "$feeder" || true; feeder=""; fi
}

# Each run_ sets $secs to the seconds of its run and leaves no file behind.
# fwbench's own seconds run from creating the file to the fdatasync, as a
# capture does; the log also keeps the process's wall time, which adds its
# start and the preparing of its frames in memory.
run_fwbench() {  # width height frames
  local t0 wall
  t0=$(now)
  "$fwbench" --width "$1" --height "$2" --frames "$3" --fps100 $(( rate * 100 )) --out "$folder/fwbench.mov" \
    >"$folder/fwbench.json"
  wall=$(seconds_since "$t0")
  secs=$(jq -r '.seconds' "$folder/fwbench.json")
  jq -c --argjson wall "$wall" '{size: "\(.width)x\(.height)", seconds, processWallSeconds: $wall, feedSeconds,
          stopMilliseconds, fdatasyncMilliseconds, writeDataMicroseconds, diskWait}' "$folder/fwbench.json" \
    >>"$folder/compare.log"
  rm -f "$folder/fwbench.mov"
}
# dd in blocks of one frame, as a capture hands them over, and in 32 KiB
# blocks, the size ffmpeg writes in: on some kernels small write calls are
# served much faster (bench/README.md). The faster of the two is the
# baseline.
run_dd_frames() { run_dd "$@" $(( $1 * $2 * 2 )); }
run_dd_32k() { run_dd "$@" 32K; }
run_dd() {  # width height frames block-size
  local t0
  open_source "$1" "$2" "$3"
  t0=$(now)
  dd if="$src" of="$folder/dd.out" bs="$4" count=$(( $1 * $2 * 2 * $3 )) iflag=fullblock,count_bytes \
    conv=fdatasync status=none
  secs=$(seconds_since "$t0")
  close_source
  rm -f "$folder/dd.out"
}
run_ffmpeg() {  # width height frames
  local t0
  open_source "$@"
  t0=$(now)
  ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt uyvy422 -s "$1x$2" -r "$rate" -i "$src" -c:v copy -f mov \
    "$folder/ffmpeg.mov"
  sync -d "$folder/ffmpeg.mov"
  secs=$(seconds_since "$t0")
  close_source
  if [ -z "$ffmpeg_moov" ]; then ffmpeg_moov=$(moov_bytes "$folder/ffmpeg.mov"); fi
  rm -f "$folder/ffmpeg.mov"
}

compare_size() {  # width height
  local w=$1 h=$2 frame frames bytes room fewer="" order rep tool i
  local tools=(fwbench dd_frames dd_32k ffmpeg)
  declare -A runs=()
  frame=$(( w * h * 2 ))
  frames=$(( (gib * 1073741824 + frame - 1) / frame ))
  room=$(( ($(free_kib "$folder") - 262144) * 1024 / frame ))  # keep 256 MiB free
  if [ "$room" -lt "$frames" ]; then
    [ "$room" -ge 1 ] || { echo "compare.sh: no room in $folder for one ${w}x${h} frame" >&2; exit 1; }
    fewer="the folder has room for only $room frames of $frame bytes: fewer than $gib GiB"
    frames=$room
  fi
  bytes=$(( frames * frame ))
  prepare_source "$w" "$h" "$frames" "$bytes"
  ffmpeg_moov=""
  echo "== ${w}x${h} '2vuy', $frames frames of $frame bytes ($bytes bytes), $reps runs of each tool"
  [ -z "$fewer" ] || echo "   NOTE: $fewer"
  echo "   raw frames for dd and ffmpeg: $source_note"
  for rep in $(seq 0 $(( reps - 1 ))); do
    # Each run of the order starts with the next tool.
    for i in 0 1 2 3; do
      tool=${tools[$(( (rep + i) % 4 ))]}
      settle
      "run_$tool" "$w" "$h" "$frames"
      runs[$tool]+="$secs "
    done
  done

  # The movie resources of both for a short capture of the same frames: ours
  # must not grow with the frame count.
  sync
  "$fwbench" --width "$w" --height "$h" --frames 2 --fps100 $(( rate * 100 )) --out "$folder/fwbench-small.mov" \
    >/dev/null
  open_source "$w" "$h" 2
  ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt uyvy422 -s "${w}x$h" -r "$rate" -i "$src" -frames:v 2 \
    -c:v copy -f mov "$folder/ffmpeg-small.mov"
  close_source
  local our_moov our_small ff_small
  our_moov=$(jq -r '.movieResourceBytes' "$folder/fwbench.json")
  our_small=$(moov_bytes "$folder/fwbench-small.mov")
  ff_small=$(moov_bytes "$folder/ffmpeg-small.mov")
  rm -f "$folder/fwbench-small.mov" "$folder/ffmpeg-small.mov" "$folder/fwbench.json" ${raw:+"$raw"}
  raw=""

  declare -A med=()
  for tool in "${tools[@]}"; do med[$tool]=$(printf '%s\n' ${runs[$tool]} | median); done
  awk -v b="$bytes" -v f="${med[fwbench]}" -v df="${med[dd_frames]}" -v ds="${med[dd_32k]}" -v g="${med[ffmpeg]}" \
      -v ft="${runs[fwbench]}" -v dft="${runs[dd_frames]}" -v dst="${runs[dd_32k]}" -v gt="${runs[ffmpeg]}" \
      -v n="$frames" -v fb="$frame" -v om="$our_moov" -v os="$our_small" -v gm="$ffmpeg_moov" -v gs="$ff_small" 'BEGIN {
    d = df < ds ? df : ds
    printf "   median MB/s (10^6 bytes a second): fwbench %.0f; dd %.0f in %d-byte blocks, %.0f in 32 KiB blocks; ffmpeg %.0f\n",
      b / f / 1e6, b / df / 1e6, fb, b / ds / 1e6, b / g / 1e6
    printf "   fwbench / dd = %.2f (against the faster dd; %.2f against dd in frame-sized blocks)\n", d / f, df / f
    printf "   fwbench / ffmpeg = %.2f\n", g / f
    printf "   seconds of each run: fwbench %s; dd (frames) %s; dd (32 KiB) %s; ffmpeg %s\n", ft, dft, dst, gt
    printf "   movie resource bytes at %d frames: fwbench %d, ffmpeg %d; at 2 frames: fwbench %d, ffmpeg %d\n", n, om, gm, os, gs
  }'
}

paced_run() {
  local frames=3600 frame=$(( 1920 * 1080 * 2 )) need
  need=$(( frames * frame / 1024 + 262144 ))
  echo "== paced capture: 1920x1080 at 60 frames a second for 60 seconds ($frames frames, $(( frames * frame )) bytes)"
  if [ "$(free_kib "$folder")" -lt "$need" ]; then
    echo "   SKIPPED: $folder has $(( $(free_kib "$folder") / 1048576 )) GiB free, the run needs $(( need / 1048576 + 1 )) GiB"
    return
  fi
  settle
  "$fwbench" --width 1920 --height 1080 --frames "$frames" --rate 60 --out "$folder/paced.mov" >"$folder/paced.json"
  rm -f "$folder/paced.mov"
  jq -r '"   waits for the disk longer than one frame period (\(.framePeriodMilliseconds | . * 1000 | round / 1000) ms): \(.diskWait.overFramePeriod)",
         "   calls that waited at all: \(.diskWait.callsThatWaited), \(.diskWait.totalMilliseconds) ms in all, the longest \(.diskWait.longestMilliseconds) ms; synchronous flushes: \(.diskWait.syncFlushes)",
         "   frames handed over more than one period late: \(.framesLate)",
         "   AFWWriteData per call: median \(.writeDataMicroseconds.median) us, p99 \(.writeDataMicroseconds.p99) us, max \(.writeDataMicroseconds.max) us",
         "   whole run \(.seconds) s; ending the capture \(.stopMilliseconds) ms; fdatasync \(.fdatasyncMilliseconds) ms; movie resource \(.movieResourceBytes) bytes in \(.movieResourceFinishMilliseconds) ms"' \
    "$folder/paced.json"
  echo "   (JSON: $folder/paced.json)"
}

echo "folder: $folder ($(findmnt -no FSTYPE -T "$folder" 2>/dev/null || echo '?')), $(( $(free_kib "$folder") / 1048576 )) GiB free; load average at start: $(load)"
if [ "$compare" = 1 ]; then
  : >"$folder/compare.log"
  echo "(fwbench's own breakdown of each run: $folder/compare.log)"
  compare_size 1920 1080
  compare_size 3840 2160
fi
[ "$paced" = 0 ] || paced_run
echo "load average at the end: $(load)"
