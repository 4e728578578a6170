#!/usr/bin/env bash
# The dialog toolkit on a real X server (run under tests/support/with_xvfb.sh),
# driven by xdotool: "100" typed into a two-digit numeric box leaves "10" and
# one beep; Ctrl+A, Ctrl+C put the box's text on the desktop clipboard (read
# back by another X client); Ctrl+V pastes what another client put there;
# Return ends the dialog with item 1. Usage: dialogs_qt_test.sh PROBE
# Every wait is on a condition with a time limit, never a fixed sleep.
set -euo pipefail

probe=$1
limit=${FW_GUI_TIMEOUT:-30}
command -v xdotool >/dev/null || { echo "dialogs_qt_test: xdotool is missing (scripts/install-deps)" >&2; exit 1; }

work=$(mktemp -d)
pid=
owner=
cleanup() {
  for p in $pid $owner; do
    if kill -0 "$p" 2>/dev/null; then kill -KILL "$p" 2>/dev/null || true; fi
  done
  rm -rf "$work"
}
trap cleanup EXIT
out=$work/out.log

fail() {
  echo "dialogs_qt_test: FAIL: $*" >&2
  echo "--- probe output:" >&2
  cat "$out" >&2 || true
  exit 1
}
wait_until() {
  local what=$1
  shift
  local end=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < end)) || fail "no $what after ${limit}s"
    sleep 0.1
  done
}
printed() { grep -q -- "$1" "$out"; }
probe_ended() { ! kill -0 "$pid" 2>/dev/null; }
clipboard_is() { [ "$("$probe" clipboard-get 2>/dev/null)" = "$1" ]; }
owner_ready() { grep -q '^owned' "$work/owner.log"; }
centre() { sed -n "s/^item$1 x=\([0-9]*\) y=\([0-9]*\)/\1 \2/p" "$out"; }
click_item() {
  local x y
  read -r x y < <(centre "$1")
  xdotool mousemove "$x" "$y" click 1
}

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
wait "$pid" || fail "the probe failed"
pid=
printed '^item=1 box3=10 box4=pasted beeps=1$' || fail "unexpected dialog result"
echo "dialogs_qt_test: ok"
