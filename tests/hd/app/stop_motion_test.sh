#!/usr/bin/env bash
# Framewright HD's stop-motion keys end to end, on a real X server (run
# under tests/support/with_xvfb.sh), typed and clicked with xdotool, the
# capture window's picture read back from screenshots by the frame stamps
# the test camera draws:
#   - five clicks, each written frame shown; Backspace twice takes two back;
#   - O lays the last frame over the live picture at half weight (the
#     stamp's cells turn grey), ] at three quarters (the last frame's stamp
#     reads through), [ twice at a quarter (the live stamp reads through);
#   - P plays the frames kept, in order at the movie's rate, and a click
#     during it still takes a frame; then the live picture returns;
#   - the movie holds exactly the frames not taken back;
#   - then a capture killed right after a take-back: fwrecover finishes it
#     with exactly the frames left.
# Screenshots are kept in the artefact folder.
#
# Usage: stop_motion_test.sh FRAMEWRIGHT_HD HELPER ARTEFACT_FOLDER FWRECOVER
set -euo pipefail

app=$1
helper=$2
artefacts=$3
fwrecover=$4
timeout_seconds=${FW_E2E_TIMEOUT:-90}
width=1280
height=720
# Half a frame a second, so that each reviewed frame stays on the screen for
# several screenshots even on a loaded machine.
movie_rate=50

source "$(dirname "$0")/e2e_common.sh"
e2e_begin stop_motion_test xdotool import convert ffprobe ffmpeg
rm -f "$artefacts"/*.png "$artefacts"/*.log

frames_counted() { xdotool getwindowname "$capture" 2>/dev/null | grep -q "($1 frame"; }
pointer_in() { (eval "$(xdotool getmouselocation --shell 2>/dev/null)" && [ "$WINDOW" = "$1" ]); }

# The capture window's picture: sets $shown to the stamp the screen shows
# ("none" when its cells are neither dark nor light) and $cells to their
# grey levels; keeps the screenshot as $work/shot.png.
read_screen() {
  import -window "$capture" "$work/shot.png" 2>/dev/null || return 1
  local geometry line
  geometry=$(identify -format '%w %h' "$work/shot.png") || return 1
  # shellcheck disable=SC2086
  line=$(convert "$work/shot.png" -crop "${geometry% *}x120+0+0" -colorspace Gray -depth 8 gray:- |
    "$helper" screen-stamp $geometry $width $height) || return 1
  shown=${line%% *}
  cells=${line#* }
}
screen_shows() { read_screen && [ "$shown" = "$1" ]; }
screen_shows_new() { read_screen && [ "$shown" != none ] && [ "$shown" != "$1" ]; }
screen_shows_after() { read_screen && [ "$shown" != none ] && ((shown > $1)); }
# Half weight: a cell where the two stamps differ is mid-grey.
screen_half_mixed() {
  read_screen && [ "$shown" = none ] && awk -v c="$cells" 'BEGIN { n = split(c, v, " ");
    for (i = 1; i <= n; i++) if (v[i] >= 100 && v[i] <= 156) exit 0; exit 1 }'
}
keep_shot() { cp "$work/shot.png" "$artefacts/$1.png"; }
# Five clicks, each frame counted and then shown: the numbers shown, in
# written, and the last in previous.
click_five_frames() {
  written=()
  previous=none
  local count
  for count in 1 2 3 4 5; do
    xdotool click 1
    wait_until "frame count of $count" frames_counted "$count"
    wait_until "frame $count on the screen" screen_shows_new "$previous"
    written+=("$shown")
    previous=$shown
  done
}

# --- One capture through every key.
work=$(mktemp -d)
start_app 0 0
start_capture
wait_until "frame count of 0" frames_counted 0
wait_until "keyboard focus in the capture window" has_focus "$capture"
wait_until "pointer in the capture window" pointer_in "$capture"
import -window "$capture" "$artefacts/capture_window_hints.png" || fail "no screenshot of the capture window"

click_five_frames
keep_shot five_frames
echo "stop_motion_test: the screen showed the written frames ${written[*]}"

xdotool key BackSpace
wait_until "frame count of 4" frames_counted 4
xdotool key Delete
wait_until "frame count of 3" frames_counted 3
wait_until "the third frame on the screen again" screen_shows "${written[2]}"
keep_shot two_taken_back

xdotool click 1
wait_until "frame count of 4" frames_counted 4
wait_until "the new frame on the screen" screen_shows_new "${written[2]}"
sixth=$shown
((sixth > ${written[4]})) || fail "the frame taken after the take-back ($sixth) is not newer than ${written[4]}"
kept=("${written[0]}" "${written[1]}" "${written[2]}" "$sixth")

xdotool key o
wait_until "the onion skin at half weight" screen_half_mixed
keep_shot onion_skin_50
xdotool key bracketright
wait_until "the last frame through the onion skin at three quarters" screen_shows "$sixth"
keep_shot onion_skin_75
xdotool key bracketleft bracketleft
wait_until "the live picture through the onion skin at a quarter" screen_shows_after "$sixth"
keep_shot onion_skin_25

# The review: the kept frames in order, then live frames; a click during it.
xdotool key p
seen=()
clicked=
end=$((SECONDS + timeout_seconds))
started_ms=$(date +%s%3N)
shots=0
while :; do
  ((SECONDS < end)) || fail "the review did not end; it showed ${seen[*]}"
  read_screen || continue
  shots=$((shots + 1))
  screenshot_ms=$((($(date +%s%3N) - started_ms) / shots))
  [ "$shown" = none ] && continue
  # Until the program has taken the key, the screen still shows live frames.
  if [ ${#seen[@]} -eq 0 ] && [[ " ${kept[*]} " != *" $shown "* ]]; then
    continue
  fi
  if [ ${#seen[@]} -eq 0 ] || [ "${seen[-1]}" != "$shown" ]; then
    seen+=("$shown")
    [ ${#seen[@]} -eq 1 ] && keep_shot review_first
  fi
  if [ -z "$clicked" ]; then
    xdotool click 1
    clicked=yes
  fi
  ((shown > sixth)) && break
done
keep_shot after_review
echo "stop_motion_test: the review showed ${seen[*]} (screenshots every ${screenshot_ms} ms or so)"
# The kept frames in their order (a screenshot slower than a frame's time
# may miss one, never reorder them), at least two of them, then live.
in_order=$(awk -v seen="${seen[*]}" -v kept="${kept[*]}" 'BEGIN {
  n = split(seen, s, " "); m = split(kept, k, " "); j = 1; found = 0
  for (i = 1; i < n; i++) { while (j <= m && k[j] != s[i]) j++; if (j > m) { print "no"; exit } found++; j++ }
  print (found >= 2 ? "yes" : "no") }')
[ "$in_order" = yes ] || fail "the review showed ${seen[*]}, not frames of ${kept[*]} in order, then live"
wait_until "frame count of 5 (the click during the review)" frames_counted 5
stop_capture_and_quit
cp "$work/app.log" "$artefacts/app.log"

movie=$(the_movie)
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$movie")
[ "$frames" = 5 ] || fail "ffprobe decodes $frames frames, not 5"
mapfile -t stamps < <(movie_stamps "$movie" "$width" "$height")
[ "${stamps[*]:0:4}" = "${kept[*]}" ] || fail "the movie holds ${stamps[*]}, not ${kept[*]} and one more"
((stamps[4] > sixth)) || fail "the frame taken during the review (${stamps[4]}) is not the newest"
echo "stop_motion_test: the movie holds ${stamps[*]}"
rm -rf "$work"

# --- Killed right after a take-back: the frames left, exactly.
work=$(mktemp -d)
start_app 0 0
start_capture
wait_until "keyboard focus in the capture window" has_focus "$capture"
wait_until "pointer in the capture window" pointer_in "$capture"
click_five_frames
xdotool key BackSpace BackSpace
wait_until "frame count of 3" frames_counted 3
"$helper" kill "$pid" >/dev/null || fail "could not kill framewright-hd"
wait "$pid" 2>/dev/null || true
pid=
out=$(HOME=$work/home "$fwrecover" 2>&1) || fail "fwrecover failed: $out"
[[ $out == *"was recovered as a movie of 3 frames"* ]] || fail "fwrecover: $out"
movie=$(the_movie)
mapfile -t stamps < <(movie_stamps "$movie" "$width" "$height")
[ "${stamps[*]}" = "${written[*]:0:3}" ] || fail "recovered ${stamps[*]}, not ${written[*]:0:3}"
echo "stop_motion_test: killed after taking back two of ${written[*]}: recovered ${stamps[*]}"
echo "stop_motion_test: passed"
