#!/usr/bin/env bash
# Runs a command on a private X server (Xvfb, 24-bit, 1920x1080) so GUI tests
# get a real display with Mesa's software OpenGL, whatever DISPLAY the caller
# has. Usage: with_xvfb.sh command [args...]
set -euo pipefail
if ! command -v xvfb-run >/dev/null; then
  echo "with_xvfb.sh: xvfb-run not found (scripts/install-deps installs it)" >&2
  exit 1
fi
export LIBGL_ALWAYS_SOFTWARE=1
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY
exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$@"
