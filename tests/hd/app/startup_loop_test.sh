#!/usr/bin/env bash
# Starts Framewright HD's application logic many times (hdapp_startup_driver)
# with each kind of damaged or odd settings file in turn, each start in a
# fresh folder and bounded in time, so the sanitizer builds see whatever a
# start, a capture and a quit do with such a file. Every start must end
# cleanly and tell the user about the file at most once.
#
# Usage: startup_loop_test.sh DRIVER STARTS
set -euo pipefail

driver=$1
starts=$2
kinds=(reserved255 empty truncated newer mode000 fifo folder device good none)

work=$(mktemp -d)
trap 'chmod -R u+rwX "$work" 2>/dev/null; rm -rf "$work"' EXIT

for ((i = 0; i < starts; ++i)); do
  kind=${kinds[i % ${#kinds[@]}]}
  folder=$work/$i
  mkdir "$folder"
  status=0
  timeout -s KILL 120 "$driver" "$folder" "$kind" >"$work/out" 2>"$work/err" || status=$?
  if [ "$status" -ne 0 ]; then
    echo "startup_loop_test: start $i ($kind) ended with status $status" >&2
    cat "$work/out" "$work/err" >&2
    exit 1
  fi
  notices=$(grep -c '^alert: .*[Pp]references file\|^alert: .* is not a regular file' "$work/out" || true)
  case $kind in
    good | none) expected=0 ;;
    mode000) expected=$([ "$(id -u)" = 0 ] && echo 0 || echo 1) ;;  # root reads it
    *) expected=1 ;;
  esac
  if [ "$notices" != "$expected" ]; then
    echo "startup_loop_test: start $i ($kind) told the user $notices times, not $expected" >&2
    cat "$work/out" >&2
    exit 1
  fi
  chmod -R u+rwX "$folder" 2>/dev/null || true
  rm -rf "$folder"
done
echo "startup_loop_test: $starts starts ended cleanly"
