#!/usr/bin/env bash
# Framewright HD with odd things at its settings path, on a real X server
# (run under tests/support/with_xvfb.sh): a FIFO, a folder, a device, a
# damaged file and one it may not read. Each time the program must show its
# main window promptly with the default settings and end promptly on
# SIGTERM; the FIFO, folder and device stay as they were, and a file that
# could not be read is found intact under its kept name, beside a new file.
#
# Usage: odd_settings_test.sh FRAMEWRIGHT_HD HELPER ARTEFACT_FOLDER
# Waits are on conditions with a generous limit (slow CI machines); the
# limit is what "promptly" means here, far below the hang it guards against.
set -euo pipefail

app=$1
helper=$2
artefacts=$3
timeout_seconds=${FW_E2E_TIMEOUT:-60}

command -v xdotool >/dev/null || { echo "odd_settings_test: xdotool is missing" >&2; exit 1; }

work=$(mktemp -d)
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null || true; fi
  chmod -R u+rwX "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$artefacts"

fail() {
  echo "odd_settings_test: FAIL ($kind): $*" >&2
  [ -f "$work/app.log" ] && cp "$work/app.log" "$artefacts/odd_settings_app.log"
  exit 1
}

# The waits and the main window's lookup, as the other end-to-end tests
# have them.
source "$(dirname "$0")/e2e_common.sh"

export HOME=$work/home
export XDG_CONFIG_HOME=$work/config
settings=$XDG_CONFIG_HOME/Framewright\ Preferences
root=$([ "$(id -u)" = 0 ] && echo yes || echo no)

for kind in fifo folder device damaged mode000; do
  rm -rf "$HOME" "$XDG_CONFIG_HOME"
  mkdir -p "$HOME" "$XDG_CONFIG_HOME"
  case $kind in
    fifo) mkfifo "$settings" ;;
    folder) mkdir "$settings" ;;
    device) if [ "$root" = yes ]; then mknod "$settings" c 1 3; else ln -s /dev/null "$settings"; fi ;;
    damaged)
      "$helper" write-prefs "$settings" 0 framewright-test-pattern
      printf '\xff' | dd of="$settings" bs=1 seek=8 conv=notrunc status=none  # reserved block length 255
      ;;
    mode000)
      # Root reads any file: only a user is refused, so only then is it kept.
      "$helper" write-prefs "$settings" 0 framewright-test-pattern
      chmod 000 "$settings"
      ;;
  esac
  [ -f "$settings" ] && cp -a "$settings" "$work/before"

  started=$SECONDS
  "$app" >"$work/app.log" 2>&1 &
  pid=$!
  wait_until "main window" main_window_shown
  kill -TERM "$pid"
  wait_until "end after SIGTERM" app_ended
  status=0
  wait "$pid" || status=$?
  pid=
  [ "$status" = 0 ] || fail "framewright-hd exited with status $status"
  echo "odd_settings_test: $kind: started and quit in $((SECONDS - started))s"

  kept=("$XDG_CONFIG_HOME"/Framewright\ Preferences\ \(unreadable\ *\).bak)
  case $kind in
    fifo) [ -p "$settings" ] || fail "the FIFO is gone" ;;
    folder) [ -d "$settings" ] || fail "the folder is gone" ;;
    device) [ -c "$settings" ] || fail "the device is gone" ;;
    damaged | mode000)
      [ -f "$settings" ] || fail "no new settings file"
      [ "$(stat -c %s "$settings")" = 235 ] || fail "the new settings file is not a whole record"
      if [ "$kind" = damaged ] || [ "$root" = no ]; then
        [ -e "${kept[0]}" ] || fail "the old file was not kept: $(ls "$XDG_CONFIG_HOME")"
        [ "$(stat -c %a "${kept[0]}")" = "$(stat -c %a "$work/before")" ] || fail "the kept file's mode changed"
        chmod u+r "${kept[0]}" "$work/before"
        cmp -s "${kept[0]}" "$work/before" || fail "the kept file differs from the old one"
      fi
      ;;
  esac
  case $kind in fifo | folder | device) [ ! -e "${kept[0]}" ] || fail "a special file was moved aside" ;; esac
  rm -f "$work/before"
done
echo "odd_settings_test: every start and quit went as it should"
