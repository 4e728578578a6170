#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb, 24-bit, 1920x1080) so GUI tests
# get a real display with Mesa's software OpenGL, whatever DISPLAY the caller
# has. Usage: with_xvfb.sh command [args...]
#
# The server picks its own free display number (-displayfd) and tells us,
# so that many of these can start at once (parallel tests) without two
# settling on the same number, as a search for a free lock file can. The
# server does not reset when its last client goes (-noreset): a test that
# kills the program and starts it again would otherwise find no display.
set -euo pipefail
if ! command -v Xvfb >/dev/null; then
  echo "with_xvfb.sh: Xvfb not found (scripts/install-deps installs it)" >&2
  exit 1
fi
export LIBGL_ALWAYS_SOFTWARE=1
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY

fifo_dir=$(mktemp -d)
mkfifo "$fifo_dir/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$fifo_dir/display" 2>"$fifo_dir/server.log" &
server=$!
cleanup() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  rm -rf "$fifo_dir"
}
trap cleanup EXIT

# The server writes its display number once it accepts connections.
if ! read -r -t 30 number <"$fifo_dir/display" || [ -z "$number" ]; then
  echo "with_xvfb.sh: Xvfb did not start: $(cat "$fifo_dir/server.log")" >&2
  exit 1
fi
export DISPLAY=:$number
# The command runs as a child we wait for, so that a signal to this script
# reaches it (a foreground command would hold the signal back until it ends).
"$@" <&0 &
child=$!
trap 'kill -TERM "$child" 2>/dev/null || true' TERM INT HUP
status=0
while :; do
  wait "$child" && status=0 || status=$?
  # A wait cut short by a signal returns above 128 while the child still runs.
  kill -0 "$child" 2>/dev/null || break
done
exit "$status"
