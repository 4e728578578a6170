#!/usr/bin/env bash
# Framewright HD's capture health on a disk slower than the input, end to end
# on a real X server (run under tests/support/with_xvfb.sh): a 1080p
# every-frame capture from the built-in camera while every write goes at
# DISK_BYTES_PER_SECOND (the program's slow-disk test seam). Before the
# first frame the program must find the disk too slow; while the capture
# runs the capture window's title must count dropped frames; and at the end
# the program's drop count must equal the frame numbers missing from the
# movie, which holds every frame the program says it wrote.
#
# Usage: slow_disk_test.sh FRAMEWRIGHT_HD HELPER ARTEFACT_FOLDER DISK_BYTES_PER_SECOND
set -euo pipefail

app=$1
helper=$2
artefacts=$3
disk_bytes_per_second=$4
timeout_seconds=${FW_E2E_TIMEOUT:-120}

source "$(dirname "$0")/e2e_common.sh"
e2e_begin slow_disk_test xdotool import convert ffprobe ffmpeg
work=$(mktemp -d)

# The capture window's title, "Framewright HD - Capture (N frames, M frames dropped)".
capture_title() { xdotool getwindowname "$capture" 2>/dev/null; }
title_counts_drops() { capture_title | grep -Eq '[0-9]+ frames?, [0-9]+ frames? dropped\)$'; }

start_app 2 1 FRAMEWRIGHT_CAPTURE_TIMING=1 FRAMEWRIGHT_TEST_CAMERA_FPS=30 \
  FRAMEWRIGHT_TEST_DISK_BYTES_PER_SECOND="$disk_bytes_per_second"
start_capture
wait_until "dropped frames in the capture window's title" title_counts_drops
title=$(capture_title)
import -window "$capture" "$artefacts/capture_window.png" 2>/dev/null || true
stop_capture_and_quit
cp "$work/app.log" "$artefacts/app.log"

warning=$(sed -n 's/.*capture health: disk_too_slow=1 \(.*\)/\1/p' "$work/app.log" | head -n 1)
[ -n "$warning" ] || fail "no warning of a disk too slow for the input"
movie=$(the_movie)
read -r kept made missing first last < <(movie_stamps "$movie" 1920 1080 | stamp_summary) ||
  fail "a written frame carries no frame number"
dropped=$(timing_field frames_dropped)
written=$(timing_field frames_written)
echo "slow_disk_test: disk at $disk_bytes_per_second B/s ($warning); title \"$title\";" \
  "kept $kept of $made frames ($first to $last), $dropped dropped"
[ "$written" = "$kept" ] || fail "the program wrote $written frames, the movie holds $kept"
((dropped > 0)) || fail "no frame dropped on a disk slower than the input"
[ "$dropped" = "$missing" ] || fail "the program reports $dropped dropped frames, the stamps miss $missing"
