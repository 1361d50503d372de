#!/usr/bin/env bash
# The CPU time of a silent Mappix and a silent Tresolo of a 4 KiB file against a C program that
# only starts (int main(void) { return 0; }), with `perf stat`, on the programs as the package
# builds them (build/app; `scripts/package.sh deb` makes it). The three are run in turns, ROUNDS
# (default 10) rounds of RUNS (default 100) runs each, so that the machine's load meets them
# alike; each figure is the median of the rounds' means.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${ROUNDS:-10}
runs=${RUNS:-100}
programs=build/app/programs
[ -x $programs/Mappix ] || { echo "build/app has no programs: run scripts/package.sh deb" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
echo 'int main(void) { return 0; }' >"$scratch/bare.c"
cc -O2 "$scratch/bare.c" -o "$scratch/bare"
head -c 4096 /dev/urandom >"$scratch/offer.pdf"
export KARTIVA_HOME=$scratch/store KARTIVA_UI=console
# The first run makes the store, with the question that starts the client.
echo y | $programs/Mappix "$scratch/offer.pdf" 2>/dev/null

# The mean CPU time of one run in milliseconds (perf's task-clock over $runs runs).
cpu_ms() {
  perf stat -r "$runs" -x, -e task-clock "$@" 2>&1 >/dev/null | awk -F, '/task-clock/ {print $1}'
}
# The mean system (kernel) time of one run in milliseconds: the children's share of `times` over
# $runs runs. The kernel splits a process's time between user and system by its clock ticks, so
# this is an estimate that many runs make good.
system_ms() (
  for ((run = 0; run < runs; run++)); do "$@" >/dev/null 2>&1; done
  times >"$scratch/times"
  awk -v runs="$runs" 'NR == 2 {split($2, t, /[ms]/); print (t[1] * 60 + t[2]) * 1000 / runs}' \
    "$scratch/times"
)
median() { sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

measure() {
  local name=$1
  shift
  cpu_ms "$@" >>"$scratch/$name.cpu"
  system_ms "$@" >>"$scratch/$name.sys"
}

for ((round = 0; round < rounds; round++)); do
  measure bare "$scratch/bare"
  measure Mappix $programs/Mappix "$scratch/offer.pdf"
  # Tresolo files the 4 KiB file into the archive as a new document each run.
  measure Tresolo $programs/Tresolo "$scratch/offer.pdf"
done
echo "per run, medians of $rounds rounds of $runs runs (load $(cut -d' ' -f1-3 /proc/loadavg)):"
bare=$(median <"$scratch/bare.cpu")
bare_system=$(median <"$scratch/bare.sys")
printf '  %-8s %8s %8s %10s %14s
' "" CPU kernel "CPU / bare" "budget"
for name in bare Mappix Tresolo; do
  cpu=$(median <"$scratch/$name.cpu")
  system=$(median <"$scratch/$name.sys")
  # 1.3 times the bare program, and the kernel time the program spends beyond the bare one's.
  budget=$(echo "1.3 * $bare + $system - $bare_system" | bc -l)
  printf '  %-8s %5.3f ms %5.3f ms %9.2fx %8.3f ms %s\n' "$name" "$cpu" "$system" \
    "$(echo "$cpu / $bare" | bc -l)" "$budget" "$(echo "$cpu <= $budget" | bc -l | sed 's/1/within/; s/0/over/')"
done
