#!/usr/bin/env bash
# The toolbox's Qt backend on a real X server (run under
# tests/support/with_xvfb.sh), driven by xdotool with real key presses and
# clicks. Usage: qt_probe_test.sh keys|dialog PROBE ARTEFACT_FOLDER
#   keys:   Ctrl+W, Ctrl+period, Shift+Tab, the arrows and Delete arrive with
#           their classic key codes and modifiers; Ctrl+Q as the quit event.
#   dialog: the sample dialog, typed into and clicked, gives the same item
#           results as the headless test; a screenshot is kept.
# Every wait is on a condition with a time limit, never a fixed sleep.
set -euo pipefail

mode=$1
probe=$2
artefacts=$3
name="qt_probe_test ($mode)"
failure_png=$artefacts/$mode-failure.png
source "$(dirname "$0")/../support/probe_common.sh"
require_tools xdotool import
mkdir -p "$artefacts"

"$probe" "$mode" >"$out" 2>"$work/err.log" &
pid=$!
wait_until "window on screen" printed '^ready'
read -r top left < <(sed -n 's/^ready top=\(-*[0-9]*\) left=\(-*[0-9]*\).*/\1 \2/p' "$out")

# Keys go where the pointer is (no window manager): put it in the window.
xdotool mousemove $((left + 5)) $((top + 5))

if [ "$mode" = keys ]; then
  xdotool key --delay 60 ctrl+w ctrl+period shift+Tab Left Right Up Down Delete
  wait_until "Delete key" printed '^key what=3 char=127'
  xdotool key ctrl+q
  wait_until "end of the probe" probe_ended
  probe_succeeded
  for line in \
    'key what=3 char=119 code=13 cmd=1 shift=0' \
    'key what=3 char=46 code=47 cmd=1 shift=0' \
    'key what=3 char=9 code=48 cmd=0 shift=1' \
    'key what=3 char=28 code=123 cmd=0 shift=0' \
    'key what=3 char=29 code=124 cmd=0 shift=0' \
    'key what=3 char=30 code=126 cmd=0 shift=0' \
    'key what=3 char=31 code=125 cmd=0 shift=0' \
    'key what=3 char=127 code=117 cmd=0 shift=0' \
    '^quit$'; do
    printed "$line" || fail "missing: $line"
  done
  ! printed 'code=12 cmd=1' || fail "Ctrl+Q arrived as a key"
  echo "qt_probe_test (keys): ok"
  exit 0
fi

wait_until "item list" printed '^item5 '
click_item 3
xdotool type --delay 40 hello
xdotool key Tab
click_item 4
# Three entries; the second.
pick 5 2 3
import -window root "$artefacts/sample-dialog.png" || fail "no screenshot"
xdotool key Return
wait_until "end of the probe" probe_ended
probe_succeeded
printed '^item=1 text=hello check=1 popup=2$' || fail "item results differ from the headless backend's"
printed '^timer ticks ran$' || fail "the event-loop timer did not run"
echo "qt_probe_test (dialog): ok"
