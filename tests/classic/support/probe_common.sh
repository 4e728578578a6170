# Shared by the classic toolbox's tests on a real X server (sourced, not
# run; see tests/support/with_xvfb.sh): a probe program's output in $out,
# waits on conditions with a time limit (never a fixed sleep), the windows
# xdotool sees, and clicks on dialog items at the centres the probe prints
# as "itemN x=X y=Y".
#
# The caller sets name (for messages) and, for a screenshot when it fails,
# failure_png; then starts the probe with its output in "$out" and its
# errors in "$work/err.log", its pid in $pid. A second process of the test
# may be kept in $owner; both are killed at exit.

limit=${FW_GUI_TIMEOUT:-30}

require_tools() {
  local tool
  for tool; do
    command -v "$tool" >/dev/null || { echo "$name: $tool is missing (scripts/install-deps)" >&2; exit 1; }
  done
}

work=$(mktemp -d)
out=$work/out.log
pid=
owner=
cleanup() {
  local p
  for p in $pid $owner; do
    if kill -0 "$p" 2>/dev/null; then kill -KILL "$p" 2>/dev/null || true; fi
  done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "$name: FAIL: $*" >&2
  if [ -n "${failure_png:-}" ]; then import -window root "$failure_png" 2>/dev/null || true; fi
  echo "--- probe output:" >&2
  cat "$out" >&2 || true
  cat "$work/err.log" >&2 2>/dev/null || true
  exit 1
}

# wait_until DESCRIPTION COMMAND...: polls COMMAND until it succeeds.
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
# The probe ended; its exit status must be 0.
probe_succeeded() {
  wait "$pid" || fail "the probe failed"
  pid=
}

visible_windows() { xdotool search --onlyvisible --name '' 2>/dev/null | sort; }
# A window shown since the list in $1 was taken; its id in $menu.
new_window_since() { menu=$(comm -13 <(echo "$1") <(visible_windows) | head -n 1) && [ -n "$menu" ]; }
window_gone() { ! visible_windows | grep -qx "$1"; }

# The latest layout's centre of an item.
centre() { sed -n "s/^item$1 x=\([0-9]*\) y=\([0-9]*\)$/\1 \2/p" "$out" | tail -n 1; }
click_item() {
  local x y
  read -r x y < <(centre "$1")
  xdotool mousemove "$x" "$y" click 1
}

# pick ITEM ENTRY COUNT: entry ENTRY of COUNT in the menu of pop-up item
# ITEM. A click, not keys: a menu may show before it takes the keyboard.
# Entries are equally tall.
pick() {
  local windows
  windows=$(visible_windows)
  click_item "$1"
  wait_until "pop-up menu" new_window_since "$windows"
  eval "$(xdotool getwindowgeometry --shell "$menu")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT * (2 * $2 - 1) / (2 * $3))) click 1
  wait_until "pop-up menu closed" window_gone "$menu"
}
