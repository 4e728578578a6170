#!/usr/bin/env bash
# The GUI capture benchmark: framewright-hd on a private X server (Xvfb,
# Mesa's software OpenGL), every-frame capture of the built-in test camera
# for a set time, at 1280x720 and 1920x1080 at 30 frames per second and at
# 1280x720 at the test rate of 60. For each run it prints frames kept / frames
# made (from the frame stamps of the written movie, counting the camera's
# frames from the first written to the last), the program's drop count, and
# the main thread's time per written frame, split into the write (frame copy
# and AFWWriteData) and the preview (draw calls in the data procedure plus
# the window's repaints). Asserts nothing.
#
# Usage: bench/gui_capture/run.sh [--build DIR] [--seconds S] [--runs N] [--only NAME] [--folder DIR]
#   NAME is one of 720p30, 1080p30, 720p60. Defaults: build, 20 s, 3 runs.
#   The movies go to a scratch folder in DIR: /dev/shm where it exists, so
#   what is measured is the main thread and not the disk (the writer's own
#   throughput is bench/writer's), else the temporary folder.
# Extra variables for the program (QT_XCB_GL_INTEGRATION=none for the
# software preview, say) pass through the environment.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$root/build
seconds=20
runs=3
only=
folder=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && folder=/dev/shm
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --folder) folder=$2; shift 2 ;;
    --inside-x) inside=1; shift ;;
    *) echo "usage: $0 [--build DIR] [--seconds S] [--runs N] [--only 720p30|1080p30|720p60] [--folder DIR]" >&2; exit 2 ;;
  esac
done

if [ -z "${inside:-}" ]; then
  exec "$root/tests/support/with_xvfb.sh" "$0" --inside-x --build "$build" --seconds "$seconds" \
    --runs "$runs" --folder "$folder" ${only:+--only "$only"}
fi

app=$build/bin/framewright-hd
helper=$build/tests/hdapp_e2e_helper
[ -x "$app" ] && [ -x "$helper" ] || {
  echo "run.sh: build framewright-hd and hdapp_e2e_helper first" >&2
  exit 1
}
timeout_seconds=120
work=
fail() {
  echo "run.sh: FAIL: $*" >&2
  [ -n "$work" ] && [ -f "$work/app.log" ] && tail -n 20 "$work/app.log" >&2
  exit 1
}
# shellcheck source=../../tests/hd/app/e2e_common.sh
source "$root/tests/hd/app/e2e_common.sh"
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null || true; fi
  [ -n "$work" ] && rm -rf "$work"
}
trap cleanup EXIT

# name input width height fps
configs=("720p30 0 1280 720 30" "1080p30 1 1920 1080 30" "720p60 0 1280 720 60")

printf '%-8s %4s %7s %7s %8s %7s %8s %10s %12s %9s %9s\n' config run kept made kept% dropped missing write_ms preview_ms call_ms paint_ms
for config in "${configs[@]}"; do
  read -r name input width height fps <<<"$config"
  [ -n "$only" ] && [ "$only" != "$name" ] && continue
  for ((run = 1; run <= runs; run++)); do
    work=$(mktemp -d -p "$folder")
    start_app 2 "$input" FRAMEWRIGHT_CAPTURE_TIMING=1 FRAMEWRIGHT_TEST_CAMERA_FPS="$fps"
    start_capture
    sleep "$seconds"
    stop_capture_and_quit
    read -r kept made missing first last < <(movie_stamps "$(the_movie)" "$width" "$height" | stamp_summary) ||
      fail "a written frame carries no stamp"
    dropped=$(timing_field frames_dropped)
    printf '%-8s %4d %7d %7d %8.2f %7s %8d %10s %12s %9s %9s\n' "$name" "$run" "$kept" "$made" \
      "$(awk -v k="$kept" -v m="$made" 'BEGIN { print 100 * k / m }')" "${dropped:-?}" "$missing" \
      "$(timing_field write_ms_per_frame)" "$(timing_field preview_ms_per_frame)" \
      "$(timing_field preview_call_ms_per_frame)" "$(timing_field preview_paint_ms_per_frame)"
    rm -rf "$work"
    work=
  done
done
