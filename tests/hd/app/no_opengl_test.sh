#!/usr/bin/env bash
# Framewright HD on an X display without OpenGL (QT_XCB_GL_INTEGRATION=none
# under Xvfb; the same as remote X without GLX): the program starts, says
# once in its log why the preview is drawn in software, shows the moving test
# pattern in the main window, and captures: five clicks give a five-frame
# movie that ffprobe decodes, and an every-frame capture keeps every frame.
#
# Usage: no_opengl_test.sh FRAMEWRIGHT_HD HELPER ARTEFACT_FOLDER
set -euo pipefail

app=$1
helper=$2
artefacts=$3
timeout_seconds=${FW_E2E_TIMEOUT:-90}
export QT_XCB_GL_INTEGRATION=none

source "$(dirname "$0")/e2e_common.sh"
e2e_begin no_opengl_test xdotool import convert compare ffprobe ffmpeg
work=$(mktemp -d)

frames_counted() { xdotool getwindowname "$capture" 2>/dev/null | grep -q "($1 frame"; }
preview_shot() { import -window "$main" "$1" 2>/dev/null && convert "$1" -crop $preview_crop +repage "$1"; }
# The box moves every frame: a later picture of the preview differs.
picture_moved() {
  preview_shot "$work/second.png" || return 1
  local differing
  differing=$(compare -metric AE "$work/first.png" "$work/second.png" null: 2>&1) || true
  [ "${differing%% *}" -gt 100 ] 2>/dev/null
}

# Trigger capture: five clicks, five frames.
start_app 0 0
grep -c "software preview: no OpenGL context" "$work/app.log" | grep -qx 1 ||
  fail "the log does not give the reason once: $(cat "$work/app.log")"
preview_shot "$work/first.png" || fail "no screenshot of the main window"
wait_until "moving picture in the preview" picture_moved
cp "$work/first.png" "$work/second.png" "$artefacts/"
start_capture
wait_until "frame count of 0" frames_counted 0
for count in 1 2 3 4 5; do
  xdotool mousemove --window "$capture" 640 400 click 1
  wait_until "frame count of $count" frames_counted "$count"
done
stop_capture_and_quit
[ "$(grep -c "software preview" "$work/app.log")" = 1 ] || fail "the reason is logged more than once"
movie=$(the_movie)
frames=$(ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames \
  -of default=nw=1:nk=1 "$movie")
[ "$frames" = 5 ] || fail "ffprobe counts $frames frames, not 5"
rm -rf "$documents"

# Every-frame capture: every frame the camera made, in order.
start_app 2 0 FRAMEWRIGHT_CAPTURE_TIMING=1
start_capture
sleep 8
stop_capture_and_quit
read -r kept made missing first last < <(movie_stamps "$(the_movie)" 1280 720 | stamp_summary) ||
  fail "a written frame carries no frame number"
echo "no_opengl_test: every-frame capture kept $kept of $made frames ($first to $last)"
((made >= 100)) || fail "only $made frames made"
((missing == 0)) || fail "$missing frames missing between the first and the last written"
