#!/usr/bin/env bash
# Framewright HD end to end, as a user works it, on a real X server (run
# under tests/support/with_xvfb.sh) with real clicks and key presses: start
# the program on the built-in test-pattern camera with captures going to
# Documents, wait for the live picture, press the capture button, click five
# times in the capture window, press Escape, quit. The Documents folder must
# then hold one movie of five frames in the order they were taken.
#
# Usage: end_to_end_test.sh FRAMEWRIGHT_HD HELPER ARTEFACT_FOLDER
# Every wait is on a condition with a generous time limit, never a fixed
# sleep: CI machines can be slow.
set -euo pipefail

app=$1
helper=$2
artefacts=$3
timeout_seconds=${FW_E2E_TIMEOUT:-90}

# The waits, the windows and the picture check, as the other end-to-end
# tests have them.
source "$(dirname "$0")/e2e_common.sh"
e2e_begin end_to_end_test xdotool import convert ffprobe ffmpeg
work=$(mktemp -d)
rm -f "$artefacts"/*.png "$artefacts"/*.log

frames_counted() { xdotool getwindowname "$capture" 2>/dev/null | grep -q "($1 frame"; }
has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }
pointer_in() { (eval "$(xdotool getmouselocation --shell 2>/dev/null)" && [ "$WINDOW" = "$1" ]); }

# A clean settings folder that sends captures to Documents, on the built-in
# camera, and a Documents folder of the test's own.
export HOME=$work/home
export XDG_CONFIG_HOME=$work/config
documents=$work/Documents
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$documents"
printf 'XDG_DOCUMENTS_DIR="%s"\n' "$documents" >"$XDG_CONFIG_HOME/user-dirs.dirs"
"$helper" write-prefs "$XDG_CONFIG_HOME/Framewright Preferences" 3 framewright-test-pattern

"$app" >"$work/app.log" 2>&1 &
pid=$!

wait_until "main window" main_window_shown
wait_until "live preview in the main window" preview_showing
cp "$work/main.png" "$artefacts/main_window.png"

# The capture button: right-aligned, 10 pixels in, in the 54-pixel bar at
# the bottom of the window.
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove --window "$main" $((WIDTH - 10 - 75)) $((HEIGHT - 27)) click 1
wait_until "capture window" capture_window_shown
wait_until "frame count of 0" frames_counted 0
wait_until "keyboard focus in the capture window" has_focus "$capture"
# The program puts the pointer in the middle of the capture window. Each
# click waits for its frame, so the clicks are at least a frame apart.
wait_until "pointer in the capture window" pointer_in "$capture"
for count in 1 2 3 4 5; do
  xdotool click 1
  wait_until "frame count of $count" frames_counted "$count"
done
import -window "$capture" "$artefacts/capture_window.png" || fail "no screenshot of the capture window"

xdotool key Escape
wait_until "end of the capture" capture_window_gone
wait_until "main window back" main_window_shown
wait_until "keyboard focus back in the main window" has_focus "$main"

xdotool key ctrl+q
wait_until "program to quit" app_ended
wait "$pid" || fail "framewright-hd exited with status $?"
pid=
cp "$work/app.log" "$artefacts/app.log"

shopt -s nullglob
movies=("$documents"/*.mov)
[ ${#movies[@]} -eq 1 ] || fail "expected one movie in Documents, found ${#movies[@]}: $(ls "$documents")"
movie=${movies[0]}
name=$(basename "$movie")
[[ $name =~ ^Framewright\ [0-9]{1,4}-[0-9]{1,4}-[0-9]{1,4}\ [0-9]{2}-[0-9]{2}-[0-9]{2}\.mov$ ]] ||
  fail "unexpected movie name: $name"

frames=$(ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=nb_read_frames \
  -of default=nw=1:nk=1 "$movie")
[ "$frames" = 5 ] || fail "ffprobe counts $frames frames in $name, not 5"
size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$movie")
[ "$size" = 1280x720 ] || fail "frames are $size, not 1280x720"

mapfile -t stamps < <(ffmpeg -v error -i "$movie" -f rawvideo -pix_fmt uyvy422 - | "$helper" read-stamps 1280 720)
[ ${#stamps[@]} -eq 5 ] || fail "read ${#stamps[@]} frames back, not 5"
previous=0
for stamp in "${stamps[@]}"; do
  [[ $stamp =~ ^[0-9]+$ ]] || fail "a written frame carries no frame number: ${stamps[*]}"
  ((stamp > previous)) || fail "frame numbers do not increase: ${stamps[*]}"
  previous=$stamp
done
echo "end_to_end_test: $name holds frames ${stamps[*]} of the test pattern"
