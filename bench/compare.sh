#!/usr/bin/env bash
# Capture throughput of the whole capture core (fwbench) against dd writing
# the same bytes and ffmpeg remuxing the same raw frames into a QuickTime
# movie, in one run on one folder, for 1920x1080 and 3840x2160 '2vuy' frames.
# Every tool is timed alike: the whole process from its start to its exit,
# the data synced to the disk before it ends. See bench/README.md.
#
# Usage: bench/compare.sh [--build DIR] [--folder DIR] [--gib N] [--reps N]
#                         [--max-reps N] [--spread PERCENT] [--rate R]
#                         [--settle S] [--paced | --paced-only]
#                         [--paced-size WxH] [--paced-rate R] [--paced-seconds S]
#   --build       the build folder holding bin/fwbench and bin/fwmov (build)
#   --folder      where the files are written (BUILD/fwbench-files); put it on
#                 the disk you mean to measure, not on tmpfs
#   --gib         payload of each run in GiB (2); fewer when the folder lacks room
#   --reps        runs of each tool and frame size, in rotating order (3)
#                 (tools: fwbench, dd in its best block size, dd with direct
#                 writes, ffmpeg)
#   --spread      the spread allowed, (slowest - fastest) / median of a tool's
#                 runs, in percent (10): while a tool's runs spread wider,
#                 another round of all tools is run, up to --max-reps
#   --max-reps    runs of each tool at most (2 x --reps)
#   --rate        the movie's frames per second, ffmpeg's -r (60)
#   --settle      seconds of rest after the sync before each run (5), so each
#                 run starts alike (see bench/README.md)
#   --paced       then a paced capture (by default 1920x1080 at 60 frames a
#                 second for 60 seconds, about 15 GB), reporting the capture
#                 loop's waits
#   --paced-only  only the paced capture
#   --paced-size, --paced-rate, --paced-seconds   the paced capture's frame
#                 size, frames a second and length
set -euo pipefail
cd "$(dirname "$0")/.."

build=build folder="" gib=2 reps=3 max_reps="" spread=10 rate=60 settle=5 compare=1 paced=0
paced_size=1920x1080 paced_rate=60 paced_seconds=60
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --folder) folder=$2; shift 2 ;;
    --gib) gib=$2; shift 2 ;;
    --reps) reps=$2; shift 2 ;;
    --max-reps) max_reps=$2; shift 2 ;;
    --spread) spread=$2; shift 2 ;;
    --rate) rate=$2; shift 2 ;;
    --settle) settle=$2; shift 2 ;;
    --paced) paced=1; shift ;;
    --paced-only) paced=1; compare=0; shift ;;
    --paced-size) paced_size=$2; shift 2 ;;
    --paced-rate) paced_rate=$2; shift 2 ;;
    --paced-seconds) paced_seconds=$2; shift 2 ;;
    -h|--help) sed -n '2,31p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "compare.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
max_reps=${max_reps:-$(( 2 * reps ))}
for n in "$gib" "$reps" "$max_reps" "$spread" "$rate" "$paced_rate" "$paced_seconds"; do
  [[ "$n" =~ ^[1-9][0-9]*$ ]] || {
    echo "compare.sh: --gib, --reps, --max-reps, --spread, --rate, --paced-rate and --paced-seconds take whole numbers above 0" >&2
    exit 2
  }
done
[[ "$paced_size" =~ ^([1-9][0-9]*)x([1-9][0-9]*)$ ]] || { echo "compare.sh: --paced-size takes WxH" >&2; exit 2; }
[ "$max_reps" -ge "$reps" ] || max_reps=$reps
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
# Every tool is timed the same way: from just before its process starts to
# just after it (and, for ffmpeg, which cannot sync, the `sync -d` of its
# file) has exited, so starting, making or reading the frames, writing them
# and syncing them all count, for every tool alike. fwbench's own breakdown
# (its capture from creating the file to the fdatasync, the waits) goes to
# the log.
run_fwbench() {  # width height frames
  local t0
  t0=$(now)
  "$fwbench" --width "$1" --height "$2" --frames "$3" --fps100 $(( rate * 100 )) --out "$folder/fwbench.mov" \
    >"$folder/fwbench.json"
  secs=$(seconds_since "$t0")
  jq -c --argjson wall "$secs" '{size: "\(.width)x\(.height)", processWallSeconds: $wall, captureSeconds: .seconds,
          feedSeconds, stopMilliseconds, fdatasyncMilliseconds, writeDataMicroseconds, diskWait}' \
    "$folder/fwbench.json" >>"$folder/compare.log"
  rm -f "$folder/fwbench.mov"
}
# dd through the page cache in the block size that suits it best on this
# machine (chosen before the runs, see pick_dd_block), and dd with direct
# writes, which bypass the page cache as a disk's own speed is measured:
# two baselines, the faster of which fwbench is held against.
run_dd_best() { run_dd "$@" "$dd_block" ""; }
run_dd_direct() { run_dd "$@" "$dd_direct_block" direct; }
run_dd() {  # width height frames block-size oflag
  local t0
  open_source "$1" "$2" "$3"
  t0=$(now)
  dd if="$src" of="$folder/dd.out" bs="$4" count=$(( $1 * $2 * 2 * $3 )) iflag=fullblock,count_bytes \
    ${5:+oflag=$5} conv=fdatasync status=none
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

# One run of dd in each block size, through the page cache and with direct
# writes, on the whole payload: the fastest of each becomes that baseline.
# Direct writes need blocks that are whole sectors, which these all are.
pick_dd_block() {  # width height frames
  local frame=$(( $1 * $2 * 2 )) bs best="" best_secs="" line="" direct_sizes
  for bs in 32K 128K 1M 4M "$frame"; do
    settle
    run_dd "$1" "$2" "$3" "$bs" ""
    line+="$bs $secs s; "
    if [ -z "$best" ] || awk -v a="$secs" -v b="$best_secs" 'BEGIN {exit !(a < b)}'; then best=$bs best_secs=$secs; fi
  done
  dd_block=$best
  echo "   dd block size through the page cache: $dd_block (one run each: ${line%; })"
  best="" line=""
  direct_sizes="1M 4M 16M"
  for bs in $direct_sizes; do
    settle
    run_dd "$1" "$2" "$3" "$bs" direct
    line+="$bs $secs s; "
    if [ -z "$best" ] || awk -v a="$secs" -v b="$best_secs" 'BEGIN {exit !(a < b)}'; then best=$bs best_secs=$secs; fi
  done
  dd_direct_block=$best
  echo "   dd block size with direct writes: $dd_direct_block (one run each: ${line%; })"
}

# Spread of a list of seconds: (slowest - fastest) / median, in percent.
spread_of() { tr ' ' '\n' | grep . | sort -g | awk '{v[NR] = $1} END {
  m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.0f", (v[NR] - v[1]) / m * 100 }'; }

compare_size() {  # width height
  local w=$1 h=$2 frame frames bytes room fewer="" rep tool i done_reps wide
  local tools=(fwbench dd_best dd_direct ffmpeg)
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
  echo "== ${w}x${h} '2vuy', $frames frames of $frame bytes ($bytes bytes), $reps to $max_reps runs of each tool"
  [ -z "$fewer" ] || echo "   NOTE: $fewer"
  echo "   raw frames for dd and ffmpeg: $source_note; fwbench makes the same frames in memory"
  pick_dd_block "$w" "$h" "$frames"
  done_reps=0
  while :; do
    # Each round starts with the next tool.
    for i in 0 1 2 3; do
      tool=${tools[$(( (done_reps + i) % 4 ))]}
      settle
      "run_$tool" "$w" "$h" "$frames"
      runs[$tool]+="$secs "
    done
    done_reps=$(( done_reps + 1 ))
    [ "$done_reps" -ge "$reps" ] || continue
    wide=""
    for tool in "${tools[@]}"; do
      [ "$(printf '%s' "${runs[$tool]}" | spread_of)" -le "$spread" ] || wide+="$tool "
    done
    [ -n "$wide" ] && [ "$done_reps" -lt "$max_reps" ] || break
    echo "   runs spread wider than $spread %: ${wide% }; another round"
  done
  [ -z "$wide" ] || echo "   NOTE: after $done_reps runs the spread is still wider than $spread % for ${wide% } (a busy machine?)"

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

  declare -A med=() spr=()
  for tool in "${tools[@]}"; do
    med[$tool]=$(printf '%s\n' ${runs[$tool]} | median)
    spr[$tool]=$(printf '%s' "${runs[$tool]}" | spread_of)
  done
  awk -v b="$bytes" -v f="${med[fwbench]}" -v db="${med[dd_best]}" -v dd="${med[dd_direct]}" -v g="${med[ffmpeg]}" \
      -v ft="${runs[fwbench]}" -v dbt="${runs[dd_best]}" -v ddt="${runs[dd_direct]}" -v gt="${runs[ffmpeg]}" \
      -v fs="${spr[fwbench]}" -v dbs="${spr[dd_best]}" -v dds="${spr[dd_direct]}" -v gs2="${spr[ffmpeg]}" \
      -v bb="$dd_block" -v bd="$dd_direct_block" -v nr="$done_reps" \
      -v n="$frames" -v om="$our_moov" -v os="$our_small" -v gm="$ffmpeg_moov" -v gs="$ff_small" 'BEGIN {
    d = db < dd ? db : dd
    printf "   median MB/s (10^6 bytes a second) of %d runs, whole processes (spread of the runs):\n", nr
    printf "     fwbench %.0f (%d %%); dd %.0f in %s blocks (%d %%); dd with direct writes %.0f in %s blocks (%d %%); ffmpeg %.0f (%d %%)\n",
      b / f / 1e6, fs, b / db / 1e6, bb, dbs, b / dd / 1e6, bd, dds, b / g / 1e6, gs2
    printf "   fwbench / dd = %.2f (against the faster dd; %.2f against dd through the page cache, %.2f against direct writes)\n",
      d / f, db / f, dd / f
    printf "   fwbench / ffmpeg = %.2f\n", g / f
    printf "   seconds of each run: fwbench %s; dd %s; dd direct %s; ffmpeg %s\n", ft, dbt, ddt, gt
    printf "   movie resource bytes at %d frames: fwbench %d, ffmpeg %d; at 2 frames: fwbench %d, ffmpeg %d\n", n, om, gm, os, gs
  }'
}

paced_run() {
  local pw=${paced_size%x*} ph=${paced_size#*x} frames frame need
  frames=$(( paced_rate * paced_seconds )) frame=$(( pw * ph * 2 ))
  need=$(( frames * frame / 1024 + 262144 ))
  echo "== paced capture: ${pw}x$ph at $paced_rate frames a second for $paced_seconds seconds ($frames frames, $(( frames * frame )) bytes)"
  if [ "$(free_kib "$folder")" -lt "$need" ]; then
    echo "   SKIPPED: $folder has $(( $(free_kib "$folder") / 1048576 )) GiB free, the run needs $(( need / 1048576 + 1 )) GiB"
    return
  fi
  settle
  "$fwbench" --width "$pw" --height "$ph" --frames "$frames" --rate "$paced_rate" --out "$folder/paced.mov" \
    >"$folder/paced.json"
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
