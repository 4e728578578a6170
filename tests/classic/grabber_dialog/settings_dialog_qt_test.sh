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
name="settings_dialog_qt_test ($mode)"
failure_png=$artefacts/settings-$mode-failure.png
source "$(dirname "$0")/../support/probe_common.sh"
require_tools xdotool import
mkdir -p "$artefacts"

dialog_shown() { xdotool search --onlyvisible --name '^Video Settings$' >/dev/null 2>&1; }

"$probe" "$mode" >"$out" 2>"$work/err.log" &
pid=$!
wait_until "dialog layout" printed '^layout 1$'
wait_until "dialog on screen" dialog_shown

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
  probe_succeeded
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
  probe_succeeded
  printed '^result=0 device=Lab Camera$' || fail "OK did not end the dialog"
  [ "$(grep -c '^brightness=' "$out")" -eq 2 ] || fail "the brightness changed more than once"
fi
echo "settings_dialog_qt_test ($mode): ok"
