#!/usr/bin/env bash
# Framewright HD's every-frame capture end to end, on a real X server (run
# under tests/support/with_xvfb.sh): the built-in camera at the given size and
# rate, captured for some seconds, must be in the movie frame for frame. The
# camera's stamps must run without a gap from the first written frame to the
# last; at a rate above the device's usual one (the test rate) at least
# MIN_PERMILLE thousandths of them, with the program's drop count equal to
# the stamps missing. The disk keeps up, so the program must not warn that
# it is too slow.
#
# Usage: every_frame_test.sh FRAMEWRIGHT_HD HELPER ARTEFACT_FOLDER INPUT WIDTH HEIGHT FPS SECONDS [MIN_PERMILLE]
#   INPUT is the camera's input source (0: 1280x720, 1: 1920x1080).
# Extra variables for the program pass through the environment.
set -euo pipefail

app=$1
helper=$2
artefacts=$3
input=$4
width=$5
height=$6
fps=$7
seconds=$8
min_permille=${9:-1000}
timeout_seconds=${FW_E2E_TIMEOUT:-90}

source "$(dirname "$0")/e2e_common.sh"
e2e_begin every_frame_test xdotool import convert ffprobe ffmpeg
work=$(mktemp -d)

start_app 2 "$input" FRAMEWRIGHT_CAPTURE_TIMING=1 FRAMEWRIGHT_TEST_CAMERA_FPS="$fps"
start_capture
sleep "$seconds"
stop_capture_and_quit
cp "$work/app.log" "$artefacts/app.log"
if [ -n "${FRAMEWRIGHT_TEST_KEEP_SOFTWARE_OPENGL:-}" ] && grep -q "software preview" "$work/app.log"; then
  fail "asked for the OpenGL preview, got $(grep "software preview" "$work/app.log")"
fi

movie=$(the_movie)
size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$movie")
[ "$size" = "${width}x${height}" ] || fail "frames are $size, not ${width}x${height}"
read -r kept made missing first last < <(movie_stamps "$movie" "$width" "$height" | stamp_summary) ||
  fail "a written frame carries no frame number"
dropped=$(timing_field frames_dropped)
written=$(timing_field frames_written)
echo "every_frame_test: ${width}x${height} at $fps fps: kept $kept of $made frames ($first to $last), $dropped dropped"
[ "$written" = "$kept" ] || fail "the program wrote $written frames, the movie holds $kept"
# A loaded machine slows the camera's own thread; a second's worth still
# shows the capture ran.
((made >= fps)) || fail "only $made frames made in ${seconds}s at $fps fps"
((kept * 1000 >= made * min_permille)) || fail "kept $kept of $made frames, under $min_permille per mille"
[ "$dropped" = "$missing" ] || fail "the program reports $dropped dropped frames, the stamps miss $missing"
# A disk that keeps up is not warned about.
if grep -q "capture health: disk_too_slow=1" "$work/app.log"; then
  fail "warned of a slow disk: $(grep "capture health" "$work/app.log")"
fi
