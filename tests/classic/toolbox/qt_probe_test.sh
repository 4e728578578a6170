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
limit=${FW_GUI_TIMEOUT:-30}

for tool in xdotool import; do
  command -v "$tool" >/dev/null || { echo "qt_probe_test: $tool is missing (scripts/install-deps)" >&2; exit 1; }
done

work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$artefacts"
out=$work/out.log

fail() {
  echo "qt_probe_test ($mode): FAIL: $*" >&2
  import -window root "$artefacts/$mode-failure.png" 2>/dev/null || true
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
visible_windows() { xdotool search --onlyvisible --name '' 2>/dev/null | sort; }
# A window shown since the list in $1 was taken; its id in $menu.
new_window_since() { menu=$(comm -13 <(echo "$1") <(visible_windows) | head -n 1) && [ -n "$menu" ]; }
window_gone() { ! visible_windows | grep -qx "$1"; }

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
  wait "$pid" || fail "the probe failed"
  pid=
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

centre() { sed -n "s/^item$1 x=\([0-9]*\) y=\([0-9]*\)/\1 \2/p" "$out"; }
click_item() {
  local x y
  read -r x y < <(centre "$1")
  xdotool mousemove "$x" "$y" click 1
}
wait_until "item list" printed '^item5 '
click_item 3
xdotool type --delay 40 hello
xdotool key Tab
click_item 4
windows=$(visible_windows)
click_item 5
wait_until "pop-up menu" new_window_since "$windows"
# Three entries: the second is in the middle of the menu. A click, not keys:
# a menu may be on screen a moment before it takes the keyboard.
eval "$(xdotool getwindowgeometry --shell "$menu")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
wait_until "pop-up menu closed" window_gone "$menu"
import -window root "$artefacts/sample-dialog.png" || fail "no screenshot"
xdotool key Return
wait_until "end of the probe" probe_ended
wait "$pid" || fail "the probe failed"
pid=
printed '^item=1 text=hello check=1 popup=2$' || fail "item results differ from the headless backend's"
printed '^timer ticks ran$' || fail "the event-loop timer did not run"
echo "qt_probe_test (dialog): ok"
