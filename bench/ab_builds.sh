#!/usr/bin/env bash
# Compares two builds of the project (say, before and after a change) on the
# capture core and the live preview, run alternately so that both see the
# same machine:
#
#     bench/ab_builds.sh [--reps N] [--frames N] BUILD_A BUILD_B
#
# Each build folder must hold bin/fwbench, bin/preview_soft_bench and
# bin/preview_gl_bench. Per repetition and build it records
#   - fwbench: a whole process capturing N 1920x1080 frames (default 400,
#     1.66 GB) into /dev/shm, timed start to exit: wall seconds and CPU
#     seconds (user + system);
#   - preview_soft_bench: the preview's software scaler as a ratio to
#     libswscale's bilinear scaler measured in the same process;
#   - preview_gl_bench (under Xvfb): the caller's CPU in VPDisplayFrame as a
#     ratio to a memcpy of the frame, and the whole process's CPU per frame.
# It prints, for each figure and build, the median and the spread (min-max)
# over the repetitions, and B's median as a ratio to A's. Ratios near 1.00
# with overlapping spreads mean no difference this machine can show.
set -euo pipefail
cd "$(dirname "$0")/.."

reps=5
frames=400
while [ $# -gt 2 ]; do
  case "$1" in
    --reps) reps=$2; shift 2 ;;
    --frames) frames=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -eq 2 ] || { sed -n 2,20p "$0" >&2; exit 2; }
builds=("$1" "$2")
for b in "${builds[@]}"; do
  for t in fwbench preview_soft_bench preview_gl_bench; do
    [ -x "$b/bin/$t" ] || { echo "missing $b/bin/$t" >&2; exit 1; }
  done
done

out=$(mktemp -d /dev/shm/ab_builds.XXXXXX)
trap 'rm -rf "$out"' EXIT
results=$out/results  # lines: build figure value

one_rep() {
  local tag=$1 b=$2 t
  t=$out/time
  /usr/bin/time -f '%e %U %S' -o "$t" "$b/bin/fwbench" --width 1920 --height 1080 \
    --frames "$frames" --out "$out/capture.mov" >/dev/null
  rm -f "$out/capture.mov"
  read -r wall user sys <"$t"
  echo "$tag fwbench_wall_s $wall" >>"$results"
  echo "$tag fwbench_cpu_s $(awk -v u="$user" -v s="$sys" 'BEGIN{print u + s}')" >>"$results"

  "$b/bin/preview_soft_bench" >"$out/soft" 2>&1
  awk -v tag="$tag" '/^preview software scaler  /{for(i=1;i<=NF;i++) if($i ~ /×$/){sub(/×/,"",$i); print tag, "soft_scaler_x_swscale", $i}}' \
    "$out/soft" >>"$results"

  tests/support/with_xvfb.sh "$b/bin/preview_gl_bench" >"$out/gl" 2>&1
  awk -v tag="$tag" '
    /^VPDisplayFrame, caller thread CPU/ {for(i=1;i<=NF;i++) if($i ~ /×$/){sub(/×/,"",$i); print tag, "gl_call_cpu_x_memcpy", $i}}
    /^whole process CPU per frame/ {for(i=1;i<=NF;i++) if($i=="mean"){print tag, "gl_process_cpu_ms_per_frame", $(i+1)}}' \
    "$out/gl" >>"$results"
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for ((r = 1; r <= reps; r++)); do
  # Alternate which build goes first, so neither always runs on a warmer machine.
  if ((r % 2)); then order=(0 1); else order=(1 0); fi
  for i in "${order[@]}"; do
    one_rep "$([ "$i" = 0 ] && echo A || echo B)" "${builds[$i]}"
  done
  echo "repetition $r of $reps done"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "A = ${builds[0]}"
echo "B = ${builds[1]}"

python3 - "$results" <<'EOF'
import statistics, sys
from collections import defaultdict
values = defaultdict(list)
for line in open(sys.argv[1]):
    tag, figure, value = line.split()
    values[(figure, tag)].append(float(value))
figures = sorted({f for f, _ in values})
print(f"{'figure':32} {'A median (min-max)':26} {'B median (min-max)':26} B/A")
for f in figures:
    a, b = values[(f, 'A')], values[(f, 'B')]
    ma, mb = statistics.median(a), statistics.median(b)
    cell = lambda v, m: f"{m:.3f} ({min(v):.3f}-{max(v):.3f})"
    print(f"{f:32} {cell(a, ma):26} {cell(b, mb):26} {mb / ma:.3f}")
EOF
