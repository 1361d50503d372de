#!/usr/bin/env bash
# The CPU time of a silent Mappix and a silent Tresolo of a 4 KiB file against a C program that
# only starts (int main(void) { return 0; }), with `perf stat`, on the programs as the package
# builds them (build/app; `scripts/package.sh deb` makes it), or those in PROGRAMS. What the work itself costs the
# kernel is what the durable floors cost beyond the bare program: bench/durable_floor.c, built
# here, copies, flushes and names the same file in bare C (and, for Tresolo, commits its row to an
# index). The aim is a tool within 1.3 times the bare program plus that: floor + 0.3 x bare.
# Each tool is also held against its store floor, which makes the other system calls of a silent
# run in the store as well (meeting place, journal, settings, in-flight checks and stamps, numbers,
# look; for Tresolo also its basket stage and its recovery's look at the newest rows): what is
# left beyond that floor is the program's own start and the work it does in user space.
# All seven are run in turns, one run each and on one processor, every other run in the opposite
# order, ROUNDS (default 10) rounds of RUNS (default 100) runs each, so that the machine's load
# meets them alike; each figure is the median of the rounds' medians. The verdict takes each
# round's own ratio (a floor's flushes move its CPU time by a third from one round to the next, and
# a round's load meets its three programs alike) and the median of those.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${ROUNDS:-10}
runs=${RUNS:-100}
programs=${PROGRAMS:-build/app/programs}
[ -x "$programs/Mappix" ] || { echo "$programs has no programs: run scripts/package.sh deb" >&2; exit 1; }

# The stores (and the programs' file) go into a folder made in STORE_PARENT, else in the system's
# temporary folder. On a tmpfs (STORE_PARENT=/dev/shm) the flushes cost nothing and the CPU time
# of the kernel's journal, which moves by a third from run to run on a disk, leaves the rest to
# stand out: what each program does beyond the system calls that its floor makes too.
scratch=$(mktemp -d ${STORE_PARENT:+-p "$STORE_PARENT"})
# The tools meet in the session's runtime folder, a tmpfs on a desktop; outside of a session they
# get one in /dev/shm, as scripts/bench.sh gives them.
runtime=
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  runtime=$(mktemp -d -p /dev/shm)
  export XDG_RUNTIME_DIR=$runtime
fi
trap 'rm -rf "$scratch" ${runtime:+"$runtime"}' EXIT
echo 'int main(void) { return 0; }' >"$scratch/bare.c"
cc -O2 "$scratch/bare.c" -o "$scratch/bare"
cc -O2 bench/durable_floor.c -o "$scratch/mappix_floor"
cc -O2 -DWITH_INDEX bench/durable_floor.c -o "$scratch/tresolo_floor" -lsqlite3
cc -O2 -DWITH_STORE_CALLS bench/durable_floor.c -o "$scratch/mappix_store_floor"
cc -O2 -DWITH_INDEX -DWITH_STORE_CALLS bench/durable_floor.c -o "$scratch/tresolo_store_floor" \
  -lsqlite3
head -c 4096 /dev/urandom >"$scratch/offer.pdf"
# Every program timed starts from the page cache as the loader reads it in: a program file just
# written (the floors, built here) and one that has lain in the cache for a while (a build's
# programs) can differ by a tenth of the bare program's CPU time, two copies of one program too.
for program in "$scratch"/bare "$scratch"/*_floor "$programs/Mappix" "$programs/Tresolo"; do
  dd if="$program" iflag=nocache count=0 status=none
done
export KARTIVA_UI=console
# The first runs make the stores, with the question that starts the client: the tools' own, and
# one whose archive (and index) the Tresolo floor writes into.
KARTIVA_HOME=$scratch/floor-store "$programs/Tresolo" "$scratch/offer.pdf" <<<y 2>/dev/null
export KARTIVA_HOME=$scratch/store
"$programs/Mappix" "$scratch/offer.pdf" <<<y 2>/dev/null
mkdir "$scratch/floor-basket"
# The store floor keeps its bookkeeping in the floors' store, in a basket no tool uses.
mkdir "$scratch/floor-store/baskets/floor"

median() { sort -g | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }
# The CPU time of one run in milliseconds, perf's task-clock, on one processor of its own (a
# process moved between processors meets cold caches that no other run meets).
cpu_ms() {
  "${pin[@]}" perf stat -x, -e task-clock "$@" 2>&1 >/dev/null </dev/null |
    awk -F, '/task-clock/ {print $1}'
}
pin=()
command -v taskset >/dev/null && pin=(taskset -c "$(($(nproc) - 1))")

# One run of the program `name`, its CPU time added to its round. A floor's name "+" is one of
# its own each run; Tresolo files the 4 KiB file into the archive as a new document each run.
run_one() {
  local name=$1
  case $name in
    bare) cpu_ms "$scratch/bare" ;;
    mappix_floor) cpu_ms "$scratch/mappix_floor" "$scratch/offer.pdf" "$scratch/floor-basket" + ;;
    mappix_store_floor)
      cpu_ms "$scratch/$name" "$scratch/offer.pdf" "$scratch/floor-store/baskets/floor" +
      ;;
    tresolo_floor | tresolo_store_floor)
      cpu_ms "$scratch/$name" "$scratch/offer.pdf" "$scratch/floor-store/archives/Allgemein" +
      ;;
    Mappix | Tresolo) cpu_ms "$programs/$name" "$scratch/offer.pdf" ;;
  esac >>"$scratch/$name.round"
}

# The programs run in turns, one run each, so that whatever the machine does meets them alike;
# each round gives each program the median of its runs: a mean would be a few runs' (a floor's
# index checkpoints its log every 64 commits, a flush now and then waits its turn in the
# kernel's writeback). Every other run takes the turns backwards: a program that runs right after
# one doing the same work costs less (by a tenth of a bare program's CPU time for Tresolo after
# its store floor), so each program runs as often before its neighbour as after it.
order=(bare mappix_floor Mappix mappix_store_floor tresolo_floor tresolo_store_floor Tresolo)
for ((round = 0; round < rounds; round++)); do
  for ((run = 0; run < runs; run++)); do
    if ((run % 2 == 0)); then
      for name in "${order[@]}"; do run_one "$name"; done
    else
      for ((at = ${#order[@]} - 1; at >= 0; at--)); do run_one "${order[at]}"; done
    fi
  done
  for round_file in "$scratch"/*.round; do
    median <"$round_file" >>"${round_file%.round}.cpu"
    rm "$round_file"
  done
done
echo "CPU per run, medians of $rounds rounds of $runs runs, stores on $(stat -f -c %T "$scratch")" \
  "(load $(cut -d' ' -f1-3 /proc/loadavg)):"
bare=$(median <"$scratch/bare.cpu")
# A tool's CPU time without its floor's work, against the bare program's, round by round.
rounds_ratios() {
  paste -d' ' "$scratch/$1.cpu" "$scratch/$2.cpu" "$scratch/bare.cpu" |
    awk '{print ($1 - ($2 - $3)) / $3}' | sort -g
}
printf '  %-28s %9s %8s %9s %9s %17s %21s\n' "" tool "/ bare" floor budget "(tool-work)/bare" \
  "per round (range)"
printf '  %-28s %6.3f ms\n' bare "$bare"
for pair in Mappix:mappix_floor Mappix:mappix_store_floor Tresolo:tresolo_floor \
  Tresolo:tresolo_store_floor; do
  name=${pair%:*} against=${pair#*:}
  tool=$(median <"$scratch/$name.cpu")
  floor=$(median <"$scratch/$against.cpu")
  # The work's own cost is the floor's beyond the bare program; the aim allows 0.3 bare more.
  read -r ratio budget start <<<"$(awk -v t="$tool" -v f="$floor" -v b="$bare" \
    'BEGIN {print t / b, f + 0.3 * b, (t - (f - b)) / b}')"
  ratios=$(rounds_ratios "$name" "$against")
  per_round=$(median <<<"$ratios")
  range=$(awk 'NR == 1 {low = $1} {high = $1} END {printf "%.2f-%.2f", low, high}' <<<"$ratios")
  printf '  %-28s %6.3f ms %7.2fx %6.3f ms %6.3f ms %16.2fx %8.2fx (%s) %s\n' \
    "$name against $against" "$tool" "$ratio" "$floor" "$budget" "$start" "$per_round" "$range" \
    "$(awk -v s="$per_round" 'BEGIN {print (s <= 1.3) ? "within" : "over"}')"
done
