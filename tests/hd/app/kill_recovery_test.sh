#!/usr/bin/env bash
# Framewright HD killed in the middle of every-frame captures, on a real X
# server (run under tests/support/with_xvfb.sh): each time after a random 0.5
# to 5 s with SIGKILL, then fwrecover finishes the capture. The movie must be
# one ffprobe decodes, its camera stamps running without a gap from the
# first, holding at least every frame the program handed to the writer more
# than 250 ms before the kill (its hand-over log says which and when).
#
# Usage: kill_recovery_test.sh FRAMEWRIGHT_HD HELPER ARTEFACT_FOLDER FWRECOVER RUNS
set -euo pipefail

app=$1
helper=$2
artefacts=$3
fwrecover=$4
runs=$5
timeout_seconds=${FW_E2E_TIMEOUT:-90}
width=1280
height=720

source "$(dirname "$0")/e2e_common.sh"
e2e_begin kill_recovery_test xdotool import convert ffprobe ffmpeg

for ((run = 1; run <= runs; run++)); do
  [ -n "$work" ] && rm -rf "$work"
  work=$(mktemp -d)
  log=$work/handover.log
  start_app 2 0 FRAMEWRIGHT_HANDOVER_LOG="$log" FRAMEWRIGHT_TEST_CAMERA_FPS=30
  start_capture
  wait_until "first frame handed over" test -s "$log"
  wait_ms=$((500 + RANDOM % 4501))
  sleep "$((wait_ms / 1000)).$(printf '%03d' $((wait_ms % 1000)))"
  kill_ns=$("$helper" kill "$pid") || fail "could not kill framewright-hd"
  wait "$pid" 2>/dev/null || true
  pid=
  out=$(HOME=$work/home "$fwrecover" 2>&1) || fail "run $run: fwrecover failed: $out"
  [[ $out == *"was recovered as a movie of"* ]] || fail "run $run: $out"
  movie=$(the_movie)
  decoded=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 \
    "$movie") || fail "run $run: ffprobe refused the recovered movie"
  read -r kept made missing first last < <(movie_stamps "$movie" "$width" "$height" | stamp_summary) ||
    fail "run $run: a recovered frame carries no frame number"
  [ "$decoded" = "$kept" ] || fail "run $run: ffprobe decodes $decoded frames, the stamps say $kept"
  [ "$missing" = 0 ] || fail "run $run: $missing frames missing between $first and $last"
  durable=$(awk -v before=$((kill_ns - 250000000)) '$2 < before { n = $1 } END { print n + 0 }' "$log")
  echo "kill_recovery_test: run $run: killed after ${wait_ms} ms, $kept frames recovered ($first to $last)," \
    "$durable handed over by the kill - 250 ms"
  ((kept >= durable)) || fail "run $run: $durable frames were handed over 250 ms before the kill, $kept recovered"
done
