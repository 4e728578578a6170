#!/usr/bin/env bash
# The video settings dialog on a real X server (run under
# tests/support/with_xvfb.sh), driven by xdotool with real clicks; a
# screenshot of the dialog is kept. Usage:
#   settings_dialog_qt_test.sh source|adjustments PROBE ARTEFACT_FOLDER
#   source:      the raw test camera is picked from the camera pop-up, the
#                channel switches at once, OK ends the dialog with noErr on
#                that camera.
#   adjustments: the Adjustments panel is picked from the panel pop-up, a
#                click three quarters along the brightness slider reaches
#                the camera at once, OK keeps it.
# Every wait is on a condition with a time limit, never a fixed sleep.
set -euo pipefail

mode=$1
probe=$2
artefacts=$3
limit=${FW_GUI_TIMEOUT:-30}

for tool in xdotool import; do
  command -v "$tool" >/dev/null ||
    { echo "settings_dialog_qt_test: $tool is missing (scripts/install-deps)" >&2; exit 1; }
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
  echo "settings_dialog_qt_test ($mode): FAIL: $*" >&2
  import -window root "$artefacts/settings-$mode-failure.png" 2>/dev/null || true
  echo "--- probe output:" >&2
  cat "$out" >&2 || true
  cat "$work/err.log" >&2 || true
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
dialog_shown() { xdotool search --onlyvisible --name '^Video Settings$' >/dev/null 2>&1; }
visible_windows() { xdotool search --onlyvisible --name '' 2>/dev/null | sort; }
new_window_since() { menu=$(comm -13 <(echo "$1") <(visible_windows) | head -n 1) && [ -n "$menu" ]; }
window_gone() { ! visible_windows | grep -qx "$1"; }
# The latest layout's centre of an item.
centre() { sed -n "s/^item$1 x=\([0-9]*\) y=\([0-9]*\)$/\1 \2/p" "$out" | tail -n 1; }
click_item() {
  local x y
  read -r x y < <(centre "$1")
  xdotool mousemove "$x" "$y" click 1
}

"$probe" "$mode" >"$out" 2>"$work/err.log" &
pid=$!
wait_until "dialog layout" printed '^layout 1$'
wait_until "dialog on screen" dialog_shown

# Picks entry $2 of $3 in the menu of pop-up item $1. A click, not keys: a
# menu may show before it takes the keyboard. Entries are equally tall.
pick() {
  local windows
  windows=$(visible_windows)
  click_item "$1"
  wait_until "pop-up menu" new_window_since "$windows"
  eval "$(xdotool getwindowgeometry --shell "$menu")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT * (2 * $2 - 1) / (2 * $3))) click 1
  wait_until "pop-up menu closed" window_gone "$menu"
}

if [ "$mode" = source ]; then
  printed '^device=DV Video$' || fail "the channel did not start on the DV camera"
  read -r camera raw choices < <(sed -n 's/^camera item=\([0-9]*\) raw=\([0-9]*\) choices=\([0-9]*\) .*/\1 \2 \3/p' "$out" | tail -n 1)
  [ -n "${camera:-}" ] && [ "${raw:-0}" -gt 0 ] || fail "no raw test camera in the camera pop-up"
  pick "$camera" "$raw" "$choices"
  wait_until "switch to the raw test camera" printed '^device=Raw Test Camera$'
  wait_until "the raw test camera in the pop-up" printed ' shown=Raw Test Camera$'
  import -window root "$artefacts/settings-source.png" || fail "no screenshot"
  click_item 1
  wait_until "end of the dialog" probe_ended
  wait "$pid" || fail "the probe failed"
  pid=
  printed '^result=0 device=Raw Test Camera$' || fail "OK did not keep the raw test camera"
else
  printed '^device=Lab Camera$' || fail "the channel did not start on the lab camera"
  printed '^brightness=16384$' || fail "unexpected starting brightness"
  # Panels: Source, Adjustments.
  pick 4 2 2
  wait_until "the brightness slider" printed '^slider item='
  read -r slider left right < <(sed -n 's/^slider item=\([0-9]*\) left=\([0-9]*\) right=\([0-9]*\)$/\1 \2 \3/p' "$out" | tail -n 1)
  read -r _ y < <(centre "$slider")
  xdotool mousemove $((left + (right - left) * 3 / 4)) "$y" click 1
  brightness_moved() { grep -Eq '^brightness=(4[0-9]{4}|5[0-5][0-9]{3})$' "$out"; }
  wait_until "brightness near three quarters" brightness_moved
  import -window root "$artefacts/settings-adjustments.png" || fail "no screenshot"
  click_item 1
  wait_until "end of the dialog" probe_ended
  wait "$pid" || fail "the probe failed"
  pid=
  printed '^result=0 device=Lab Camera$' || fail "OK did not end the dialog"
  [ "$(grep -c '^brightness=' "$out")" -eq 2 ] || fail "the brightness changed more than once"
fi
echo "settings_dialog_qt_test ($mode): ok"
