#!/usr/bin/env bash
# Framewright end to end on a real X server (run under
# tests/support/with_xvfb.sh), clicked and typed at by xdotool; the files it
# writes are read by ffprobe, ffmpeg and our own helper. Three runs:
#   1. clean settings: the moving DV picture, Return, three clicks, Escape:
#      a DV stream of 3 whole frames; Ctrl+Q writes the classic 96 bytes;
#   2. the preferences dialog's rules: flip ticked then Cancel keeps it; "100"
#      typed as delay leaves "10"; an empty frame rate stores 1800; a saved
#      window 10 pixels below the screen's top is not restored;
#   3. the dialog sets movie format, 12.5 fps, delay 2; a quit asked for in
#      the dialog is dropped; a movie of 3 frames; SIGTERM during a second
#      capture finishes it; a window saved well inside the screen is restored;
#   4. a DV capture killed outright is finished at the next start, with one
#      alert, into whole frames;
#   5. the animator's keys: O shows the live picture under the onion skin (the
#      picture moves; without it the last frame stands still), P plays the
#      last frames, Backspace twice takes two of five back, one more click:
#      4 whole frames, the last taken well after the third;
#   6. a capture killed right after two of five frames were taken back is
#      finished at the next start into exactly 3 whole frames.
# Usage: end_to_end_test.sh FRAMEWRIGHT HELPER ARTEFACT_FOLDER
# Every wait is on a condition with a time limit; the one fixed pause is
# where nothing must happen (the dropped quit).
set -euo pipefail

app=$1
helper=$2
artefacts=$3
timeout_seconds=${FW_GUI_TIMEOUT:-30}
for tool in xdotool import convert compare ffprobe ffmpeg; do
  command -v "$tool" >/dev/null || { echo "framewright e2e: $tool is missing (scripts/install-deps)" >&2; exit 1; }
done
mkdir -p "$artefacts"
rm -f "$artefacts/failure.png"

work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "framewright e2e: FAIL: $*" >&2
  [ -f "$work/app.log" ] && { echo "--- program output:" >&2; cat "$work/app.log" >&2; }
  import -window root "$artefacts/failure.png" 2>/dev/null || true
  exit 1
}
app_running() { kill -0 "$pid" 2>/dev/null; }
app_ended() { ! app_running; }
wait_until() {
  local what=$1
  shift
  local end=$((SECONDS + timeout_seconds))
  until "$@"; do
    ((SECONDS < end)) || fail "no $what after ${timeout_seconds}s"
    sleep 0.1
  done
}
visible_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1; }
shown() { [ -n "$(visible_window "$1")" ]; }
gone() { [ -z "$(visible_window "$1")" ]; }
# geometry NAME: sets X Y WIDTH HEIGHT of the window (its content, with the
# menu bar strip on the setup window).
geometry() { eval "$(xdotool getwindowgeometry --shell "$(visible_window "$1")")"; }
# click_in NAME H V: clicks the window's local point (h, v).
click_in() {
  geometry "$1"
  xdotool mousemove $((X + $2)) $((Y + $3)) click 1
}

export HOME=$work/home
unset XDG_STATE_HOME # recovery records under $HOME/.local/state
export XDG_CONFIG_HOME=$work/config
documents=$work/Documents
prefs="$XDG_CONFIG_HOME/Framewright Preferences"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$documents"
printf 'XDG_DOCUMENTS_DIR="%s"\n' "$documents" >"$XDG_CONFIG_HOME/user-dirs.dirs"

setup='^Framewright$'
capture='^Capture$'
preferences='^Framewright Preferences$'
has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$(visible_window "$1")" ]; }
start_app() {
  "$app" >>"$work/app.log" 2>&1 &
  pid=$!
  wait_until "setup window" shown "$setup"
  wait_until "keyboard focus in the setup window" has_focus "$setup"
}
quit_app() {
  xdotool key ctrl+q
  wait_until "the program's end" app_ended
  wait "$pid" || fail "framewright exited with status $?"
  pid=
}
capture_frames() {
  local clicks=$1
  wait_until "capture window" shown "$capture"
  wait_until "keyboard focus in the capture window" has_focus "$capture"
  # The program put the pointer in the middle of the capture window; frames
  # come 30 a second, so clicks 0.3 s apart land on different frames.
  for ((i = 0; i < clicks; i++)); do
    xdotool click 1
    sleep 0.3
  done
}
end_capture() {
  xdotool key Escape
  wait_until "end of the capture" gone "$capture"
  wait_until "setup window back" shown "$setup"
  wait_until "keyboard focus back in the setup window" has_focus "$setup"
}
# A window that came up since $windows was taken (a menu).
menu_open() {
  menu=$(comm -13 <(echo "$windows") <(xdotool search --onlyvisible --name '' 2>/dev/null | sort) | head -n 1)
  [ -n "$menu" ]
}
captures() { find "$documents" -maxdepth 1 -type f "$@" | sort; }
probe() { ffprobe -v error -count_frames -select_streams v:0 -show_entries "stream=$2" -of default=noprint_wrappers=1 "$1"; }
stamps_increase() {
  local file=$1 width=$2 height=$3
  ffmpeg -v error -i "$file" -f rawvideo -pix_fmt gray - | "$helper" read-stamps "$width" "$height" >"$work/stamps"
  awk 'BEGIN { last = -1 } $1 == "none" || $1 + 0 <= last { exit 1 } { last = $1 + 0 } END { exit NR == 0 }' \
    "$work/stamps" || fail "frame numbers of $file do not increase: $(tr '\n' ' ' <"$work/stamps")"
}

# ---- 1. Clean settings: the DV camera, a DV stream -------------------------
"$helper" write-prefs "$prefs" location=3
start_app
# The preview (360 × 240 at (10, 10) under the 20-pixel menu bar strip) is
# a picture, and it moves.
preview_shot() {
  import -window "$(visible_window "$setup")" "$work/$1.png" 2>/dev/null &&
    convert "$work/$1.png" -crop 360x240+10+30 +repage "$work/$1-preview.png" 2>/dev/null
}
not_uniform() {
  preview_shot a || return 1
  local spread
  spread=$(convert "$work/a-preview.png" -colorspace Gray -format '%[fx:standard_deviation]' info:) || return 1
  awk -v s="$spread" 'BEGIN { exit !(s > 0.1) }'
}
moving() {
  preview_shot b || return 1
  local differ
  differ=$(compare -metric AE "$work/a-preview.png" "$work/b-preview.png" null: 2>&1 || true)
  [ "${differ%% *}" != 0 ]
}
wait_until "a picture in the setup window" not_uniform
wait_until "a moving picture" moving
cp "$work/b.png" "$artefacts/setup-window.png"

xdotool key Return
capture_frames 3
import -window root "$artefacts/capture-window.png" || fail "no screenshot of the capture window"
end_capture
quit_app
mapfile -t files < <(captures -name '*.dv')
[ "${#files[@]}" = 1 ] || fail "expected one .dv file in Documents, found ${#files[@]}"
[ "$(stat -c %s "${files[0]}")" = 360000 ] || fail "the DV stream holds $(stat -c %s "${files[0]}") bytes"
[ "$(probe "${files[0]}" codec_name,nb_read_frames)" = $'codec_name=dvvideo\nnb_read_frames=3' ] ||
  fail "ffprobe reads: $(probe "${files[0]}" codec_name,nb_read_frames)"
stamps_increase "${files[0]}" 720 480
read_prefs() { "$helper" read-prefs "$prefs"; }
# 11 bytes before the record (reserved fields, format version), then 96.
[[ "$(read_prefs)" == "size=107 format=1 fps=1500 delay=0 flipH=0 device=DV Video "* ]] ||
  fail "preferences after Ctrl+Q: $(read_prefs)"
rm -f "${files[@]}"

# ---- 2. The preferences dialog's rules --------------------------------------
"$helper" write-prefs "$prefs" location=3 window=10,100,300,480
start_app
geometry "$setup"
[ "$X,$Y" = "40,40" ] || fail "a window saved 10 pixels below the screen's top was restored at $X,$Y"
# Without a window manager nobody gives the setup window the focus back when
# a dialog closes: a click on its preview does, as the user would.
dialog_closed() {
  wait_until "the dialog to close" gone "$preferences"
  click_in "$setup" 100 100
  wait_until "keyboard focus back in the setup window" has_focus "$setup"
}
open_preferences() {
  xdotool key ctrl+comma
  wait_until "preferences dialog" shown "$preferences"
  wait_until "keyboard focus in the preferences dialog" has_focus "$preferences"
}
open_preferences
import -window "$(visible_window "$preferences")" "$artefacts/preferences-dialog.png" ||
  fail "no screenshot of the preferences dialog"
click_in "$preferences" 230 271 # flip horizontally
xdotool key Escape
dialog_closed
open_preferences
# The delay box has the focus, its text selected.
xdotool type --delay 60 100
click_in "$preferences" 245 241 # the frame rate box
xdotool key --delay 60 ctrl+a BackSpace Return
dialog_closed

# The about box, from the program's menu (its first item).
windows=$(xdotool search --onlyvisible --name '' 2>/dev/null | sort)
click_in "$setup" 90 10
wait_until "the program's menu" menu_open
eval "$(xdotool getwindowgeometry --shell "$menu")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + 14)) click 1
wait_until "about box" shown '^About Framewright$'
import -window "$(visible_window '^About Framewright$')" "$artefacts/about-box.png" || fail "no screenshot of the about box"
xdotool key Return
wait_until "the about box to close" gone '^About Framewright$'
click_in "$setup" 100 100
wait_until "keyboard focus back in the setup window" has_focus "$setup"
quit_app
[[ "$(read_prefs)" == "size=107 format=1 fps=1800 delay=10 flipH=1 "* ]] ||
  fail "after Cancel with flip ticked, then 100 typed as delay and an empty rate: $(read_prefs)"

# ---- 3. A movie through the dialog, a dropped quit, SIGTERM ------------------
"$helper" write-prefs "$prefs" location=3 window=300,500,590,880
start_app
geometry "$setup"
[ "$X,$Y" = "500,280" ] || fail "a window saved well inside the screen was not restored ($X,$Y)"
open_preferences
windows=$(xdotool search --onlyvisible --name '' 2>/dev/null | sort)
click_in "$preferences" 335 31 # capture format
wait_until "the format menu" menu_open
eval "$(xdotool getwindowgeometry --shell "$menu")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 4)) click 1 # QuickTime movie, the first of two
menu_closed() { ! xdotool getwindowname "$menu" >/dev/null 2>&1 || [ -z "$(xdotool search --onlyvisible --name '' | grep -x "$menu")" ]; }
wait_until "the format menu to close" menu_closed
click_in "$preferences" 235 91 # the delay box
xdotool key --delay 60 ctrl+a 2
click_in "$preferences" 245 241 # the frame rate box
xdotool key --delay 60 ctrl+a
xdotool type --delay 60 12.5
xdotool key ctrl+q
sleep 1
app_running || fail "a quit asked for in the preferences dialog ended the program"
shown "$preferences" || fail "a quit asked for in the preferences dialog closed it"
xdotool key Return
dialog_closed
xdotool key Return
capture_frames 3
end_capture
mapfile -t files < <(captures -name '*.mov')
[ "${#files[@]}" = 1 ] || fail "expected one movie in Documents, found ${#files[@]}"
movie=${files[0]}
[ "$(probe "$movie" codec_tag_string,r_frame_rate,nb_read_frames)" = \
  $'codec_tag_string=dvc \nr_frame_rate=25/2\nnb_read_frames=3' ] ||
  fail "ffprobe reads the movie as: $(probe "$movie" codec_tag_string,r_frame_rate,nb_read_frames)"
stamps_increase "$movie" 720 480

xdotool key Return
capture_frames 2
sleep 0.5 # the clicks reach the data procedure with the next frames
kill -TERM "$pid"
wait_until "the program's end after SIGTERM" app_ended
wait "$pid" || fail "framewright exited with status $? after SIGTERM"
pid=
mapfile -t files < <(captures -name '*.mov' ! -path "$movie")
[ "${#files[@]}" = 1 ] || fail "SIGTERM during a capture left ${#files[@]} new movies"
[ "$(probe "${files[0]}" nb_read_frames)" = nb_read_frames=2 ] ||
  fail "the capture SIGTERM ended reads as: $(probe "${files[0]}" nb_read_frames)"
[[ "$(read_prefs)" == "size=107 format=0 fps=1250 delay=2 "* ]] || fail "preferences at the end: $(read_prefs)"
rm -f "$documents"/*

# SIGKILL during a DV capture, then the program started again: it finishes
# the capture, tells so in an alert (kept as SHOT in the artefacts when
# given), and quits. Sets files to the one capture in Documents.
kill_then_restart_and_recover() {
  kill -KILL "$pid"
  wait "$pid" 2>/dev/null || true
  pid=
  mapfile -t files < <(captures -name '*.dv')
  [ "${#files[@]}" = 1 ] || fail "expected the killed capture in Documents, found ${#files[@]} files"
  "$app" >>"$work/app.log" 2>&1 &
  pid=$!
  local alert='^Framewright Alert$'
  wait_until "the alert telling of the recovered capture" shown "$alert"
  if [ -n "${1:-}" ]; then
    import -window "$(visible_window "$alert")" "$artefacts/$1" 2>/dev/null || true
  fi
  xdotool key Return
  wait_until "the alert's end" gone "$alert"
  wait_until "setup window" shown "$setup"
  dialog_closed
  quit_app
}

# ---- 4. A capture cut short by SIGKILL, finished at the next start ----------
"$helper" write-prefs "$prefs" location=3 format=1
start_app
xdotool key Return
capture_frames 3
sleep 1 # well past the writer's 250 ms to the kernel
kill_then_restart_and_recover recovery-alert.png
[ "$(stat -c %s "${files[0]}")" = 360000 ] ||
  fail "the recovered DV stream holds $(stat -c %s "${files[0]}") bytes, not 3 whole frames"
[ "$(probe "${files[0]}" nb_read_frames)" = nb_read_frames=3 ] ||
  fail "the recovered DV stream reads as: $(probe "${files[0]}" nb_read_frames)"
[ -z "$(find "$HOME/.local/state" -type f 2>/dev/null)" ] || fail "a recovery record was left behind"
rm -f "$documents"/*

# ---- 5. The animator's keys in the capture window ---------------------------
"$helper" write-prefs "$prefs" location=3 format=1
start_app
xdotool key Return
capture_frames 5
# The DV camera's half-size picture, centred under the capture window's
# 40-pixel band: 360 × 240 at (140, 50) in its 640 × 300.
capture_shot() {
  import -window "$(visible_window "$capture")" "$work/$1.png" 2>/dev/null &&
    convert "$work/$1.png" -crop 360x240+140+50 +repage "$work/$1-preview.png" 2>/dev/null
}
differ() { [ "$(compare -metric AE "$work/$1-preview.png" "$work/$2-preview.png" null: 2>&1 | cut -d' ' -f1)" != 0 ]; }
sleep 0.5
capture_shot still1 && sleep 0.5 && capture_shot still2 || fail "no screenshot of the capture window"
differ still1 still2 && fail "without the onion skin the capture window's picture changed between frames"
xdotool key o
onion_moves() { capture_shot live1 && sleep 0.3 && capture_shot live2 && differ live1 live2; }
wait_until "the live picture under the onion skin" onion_moves
cp "$work/live2.png" "$artefacts/capture-onion-skin.png"
xdotool key o
xdotool key p
sleep 0.3
capture_shot review && cp "$work/review.png" "$artefacts/capture-review.png"
sleep 1.5 # the review's five frames at 15 a second are over
xdotool key BackSpace
xdotool key Delete
sleep 0.5
xdotool click 1
sleep 0.5
end_capture
mapfile -t files < <(captures -name '*.dv')
[ "${#files[@]}" = 1 ] || fail "expected one .dv file after taking frames back, found ${#files[@]}"
[ "$(stat -c %s "${files[0]}")" = 480000 ] ||
  fail "five frames, two taken back and one more hold $(stat -c %s "${files[0]}") bytes, not 4 whole frames"
stamps_increase "${files[0]}" 720 480
# Clicks 0.3 s apart are about 9 frames apart; the last came seconds later.
awk 'NR == 3 { third = $1 } NR == 4 { exit !($1 - third > 45) }' "$work/stamps" ||
  fail "the fourth frame is not the last click's: $(tr '\n' ' ' <"$work/stamps")"
quit_app
rm -f "$documents"/*

# ---- 6. Killed right after frames were taken back -----------------------------
"$helper" write-prefs "$prefs" location=3 format=1
start_app
xdotool key Return
capture_frames 5
xdotool key BackSpace BackSpace
sleep 1 # the cuts are made, and durable, before the keys' handling returns
kill_then_restart_and_recover
[ "$(stat -c %s "${files[0]}")" = 360000 ] ||
  fail "the capture killed after two of five frames were taken back holds $(stat -c %s "${files[0]}") bytes"
echo "framewright e2e: ok"
