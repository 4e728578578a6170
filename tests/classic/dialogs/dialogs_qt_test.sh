#!/usr/bin/env bash
# The dialog toolkit on a real X server (run under tests/support/with_xvfb.sh),
# driven by xdotool: "100" typed into a two-digit numeric box leaves "10" and
# one beep; Ctrl+A, Ctrl+C put the box's text on the desktop clipboard (read
# back by another X client); Ctrl+V pastes what another client put there;
# Return ends the dialog with item 1. Usage: dialogs_qt_test.sh PROBE
# Every wait is on a condition with a time limit, never a fixed sleep.
set -euo pipefail

probe=$1
name=dialogs_qt_test
source "$(dirname "$0")/../support/probe_common.sh"
require_tools xdotool

clipboard_is() { [ "$("$probe" clipboard-get 2>/dev/null)" = "$1" ]; }
owner_ready() { grep -q '^owned' "$work/owner.log"; }

"$probe" dialog >"$out" 2>"$work/err.log" &
pid=$!
wait_until "item list" printed '^item4 '
dialog_shown() { xdotool search --onlyvisible --name 'Dialog probe' >/dev/null 2>&1; }
wait_until "window on screen" dialog_shown

# The first text box has the focus; keys go where the pointer is.
click_item 3
xdotool type --delay 60 100
xdotool key --delay 60 ctrl+a ctrl+c
wait_until "the box's text on the desktop clipboard" clipboard_is 10

"$probe" clipboard-set pasted >"$work/owner.log" 2>/dev/null &
owner=$!
wait_until "another client owning the clipboard" owner_ready
click_item 4
xdotool key --delay 60 ctrl+v Return
wait_until "end of the dialog" probe_ended
probe_succeeded
printed '^item=1 box3=10 box4=pasted beeps=1$' || fail "unexpected dialog result"
echo "dialogs_qt_test: ok"
