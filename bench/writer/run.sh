#!/usr/bin/env bash
# The writer's benchmarks, each against its baseline in the same run:
#  1. one AFWWriteData of a 1080p and a 2160p '2vuy' frame against a memcpy
#     of the same size (Google Benchmark, median of 5 repetitions);
#  2. sustained writer throughput against dd writing the same bytes to the
#     same folder, both ending with fdatasync (median of --reps runs, the
#     order of the two alternating from run to run, a sync before each).
#
# Usage: bench/writer/run.sh [--build DIR] [--folder DIR] [--mib N] [--reps N]
#                            [--calls-only | --throughput-only]
#   --build   the build folder holding bin/writer_bench and bin/afw_throughput (build)
#   --folder  where the throughput runs write (DIR/writer-bench-files under the
#             build folder; put it on the disk you mean to measure, not tmpfs)
#   --mib     bytes per throughput run, in MiB (1024)
#   --reps    throughput runs per tool and frame size (5)
set -euo pipefail
cd "$(dirname "$0")/../.."

build=build folder="" mib=1024 reps=5 calls=1 throughput=1
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --folder) folder=$2; shift 2 ;;
    --mib) mib=$2; shift 2 ;;
    --reps) reps=$2; shift 2 ;;
    --calls-only) throughput=0; shift ;;
    --throughput-only) calls=0; shift ;;
    *) echo "run.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
folder=${folder:-$build/writer-bench-files}
mkdir -p "$folder"
source=""
trap 'rm -f "$folder/afw.out" "$folder/dd.out" ${source:+"$source"}' EXIT
frames_1080p=4147200   # 1920 x 1080 x 2
frames_2160p=16588800  # 3840 x 2160 x 2

if [ "$calls" = 1 ]; then
  [ -x "$build/bin/writer_bench" ] || { echo "run.sh: $build/bin/writer_bench not built (libbenchmark-dev?)" >&2; exit 1; }
  echo "== one AFWWriteData against memcpy of the same size (median of 5)"
  "$build/bin/writer_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_out="$folder/calls.json" --benchmark_out_format=json >"$folder/calls.txt" 2>&1
  echo "(wall: what the capture loop waits; CPU: the calling thread's own work; table: $folder/calls.txt)"
  jq -r '
    def r2: . * 100 | round / 100;
    [.benchmarks[] | select(.aggregate_name == "median")
      | {name: (.run_name | split("/")[0]), size: (.run_name | split("/")[1]), wall: .real_time, cpu: .cpu_time}] as $rows
    | ($rows | map(.size) | unique | sort_by(tonumber))[] as $s
    | ($rows | map(select(.size == $s)) | map({(.name): .}) | add) as $r
    | ($r.BM_Memcpy) as $m
    | "\($s) bytes: memcpy wall \($m.wall | r2) us, CPU \($m.cpu | r2) us",
      ( ["BM_AFWWriteData", "idle (copy and queue)"], ["BM_AFWWriteDataParked", "parked behind a write"]
        | . as [$name, $what] | $r[$name]
        | "  AFWWriteData, \($what): wall \(.wall | r2) us = \(.wall / $m.wall | r2) x memcpy, CPU \(.cpu | r2) us = \(.cpu / $m.cpu | r2) x memcpy" )
  ' "$folder/calls.json"
fi

now() { date +%s%N; }
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# Seconds of one run of each tool.
run_afw() {
  local t0; t0=$(now)
  "$build/bin/afw_throughput" write "$folder/afw.out" "$1" "$2" >>"$folder/throughput.log"
  echo "$(( $(now) - t0 ))" | awk '{print $1 / 1e9}'
  rm -f "$folder/afw.out"
}
# dd reads the bytes from a file made beforehand in memory (/dev/shm) or, where
# that has no room, in the folder itself (then from the page cache): one copy
# in, one write out, as the writer's copy of each frame and its write.
run_dd() {
  local t0; t0=$(now)
  dd if="$source" of="$folder/dd.out" bs="$1" conv=fdatasync status=none
  echo "$(( $(now) - t0 ))" | awk '{print $1 / 1e9}'
  rm -f "$folder/dd.out"
}

if [ "$throughput" = 1 ]; then
  [ -x "$build/bin/afw_throughput" ] || { echo "run.sh: $build/bin/afw_throughput not built" >&2; exit 1; }
  echo "== sustained throughput against dd, $mib MiB a run ending with fdatasync, in $folder (median of $reps)"
  echo "(the writer's own line for each run, with its peak memory and page faults: $folder/throughput.log)"
  : >"$folder/throughput.log"
  for frame in $frames_1080p $frames_2160p; do
    count=$(( mib * 1048576 / frame ))
    bytes=$(( count * frame ))
    source="$folder/dd-source.bin"
    if [ -d /dev/shm ] && [ -w /dev/shm ] &&
       [ "$(df -Pk /dev/shm | awk 'NR == 2 {print $4}')" -gt $(( bytes / 1024 + 65536 )) ]; then
      source=/dev/shm/fw-writer-bench-$$.bin
    fi
    "$build/bin/afw_throughput" emit "$frame" "$count" >"$source"
    afw_times=() dd_times=()
    for rep in $(seq 1 "$reps"); do
      sync
      if [ $(( rep % 2 )) = 1 ]; then
        afw_times+=("$(run_afw "$frame" "$count")"); sync
        dd_times+=("$(run_dd "$frame" "$count")")
      else
        dd_times+=("$(run_dd "$frame" "$count")"); sync
        afw_times+=("$(run_afw "$frame" "$count")")
      fi
    done
    rm -f "$source"
    afw=$(printf '%s\n' "${afw_times[@]}" | median)
    dd=$(printf '%s\n' "${dd_times[@]}" | median)
    afw_best=$(printf '%s\n' "${afw_times[@]}" | sort -g | head -n 1)
    dd_best=$(printf '%s\n' "${dd_times[@]}" | sort -g | head -n 1)
    awk -v f="$frame" -v n="$count" -v b="$bytes" -v a="$afw" -v d="$dd" -v ab="$afw_best" -v db="$dd_best" \
        -v at="${afw_times[*]}" -v dt="${dd_times[*]}" 'BEGIN {
      printf "%d-byte frames x %d:\n", f, n
      printf "  median: writer %.0f MB/s, dd %.0f MB/s: writer = %.2f x dd\n", b / a / 1e6, b / d / 1e6, d / a
      printf "  best:   writer %.0f MB/s, dd %.0f MB/s: writer = %.2f x dd\n", b / ab / 1e6, b / db / 1e6, db / ab
      printf "  seconds of each run: writer %s; dd %s\n", at, dt
    }'
  done
fi
