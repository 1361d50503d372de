#!/usr/bin/env bash
# Runs every benchmark on the dev build and says which machine they ran on; the figures in
# docs/speed.md come from this. Run it on an otherwise idle machine: BENCH_RUNS sets the runs of
# each program, BENCH_CURVE_RUNS those of each store size in the size curve. It ends with the three
# durable targets (each tool against its bare C floor, whole processes) and the time it took.
# `scripts/bench.sh durable` runs only what those targets need (no size curve, no other benchmark):
# with BENCH_RUNS=100, within about three minutes even on a loaded machine.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset dev >/dev/null
cmake --build --preset dev --target process_bench big_file_bench comma_list_bench shading_bench \
  reg_text_bench window_bench >/dev/null

# The first window against a bare Qt window, on an Xvfb display of the benchmark's own.
window_figure() (
  . scripts/xvfb.sh
  folder=$(mktemp -d)
  start_xvfb "$folder"
  build/dev/bench/window_bench "${BENCH_WINDOW_RUNS:-30}"
  kill "$xvfb_pid"
  rm -rf "$folder"
)

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
  "$(free -g | awk '/Mem:/ {print $2}') GiB, $(. /etc/os-release && echo "$PRETTY_NAME"), $(uname -r)"
echo
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
targets=$(mktemp)
trap 'rm -f "$targets"' EXIT
if [ "${1:-}" = durable ]; then
  build/dev/bench/process_bench "${BENCH_RUNS:-100}" 0
  echo "(${SECONDS} s)"
  exit 0
fi
build/dev/bench/process_bench "${BENCH_RUNS:-300}" "${BENCH_CURVE_RUNS:-15}" | tee "$targets"
echo
build/dev/bench/big_file_bench "${BENCH_BIG_RUNS:-9}"
echo
window_figure
echo
build/dev/bench/comma_list_bench --benchmark_format=console 2>/dev/null | grep BM_
build/dev/bench/shading_bench --benchmark_format=console 2>/dev/null | grep BM_
build/dev/bench/reg_text_bench --benchmark_format=console 2>/dev/null | grep BM_
echo
grep -A3 '^durable targets' "$targets"
echo "(all benchmarks: ${SECONDS} s)"
