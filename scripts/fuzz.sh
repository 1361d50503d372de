#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time (FUZZ_SECONDS, default
# 30) from its committed corpus in fuzz/corpus/<target>/. New interesting inputs go to a scratch
# folder, or into the committed corpus with FUZZ_GROW=1 (then minimise it, as
# docs/development.md says).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-30}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzzers >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Runs one fuzzer for $seconds; its log, its exit status and whatever it finds go to the scratch
# folder.
fuzz_one() {
  local fuzzer=$1 name corpus grow status=0
  name=$(basename "$fuzzer" _fuzz)
  corpus="fuzz/corpus/$name"
  mkdir -p "$corpus" "$scratch/$name"
  grow="$scratch/$name"
  [ "${FUZZ_GROW:-0}" = 1 ] && grow="$corpus"
  "$fuzzer" -max_total_time="$seconds" -max_len=200000 -print_final_stats=1 \
    -artifact_prefix="$scratch/$name-" "$grow" "$corpus" >"$scratch/$name.log" 2>&1 || status=$?
  echo "$status" >"$scratch/$name.status"
}
export -f fuzz_one
export seconds scratch

# The fuzzers run side by side, one a core: each still runs for its whole time, and the stage takes
# the time of one round instead of the sum.
fuzzers=(build/fuzz/fuzz/*_fuzz)
echo "fuzzing ${fuzzers[*]##*/} for ${seconds}s, $(nproc) at a time"
printf '%s\0' "${fuzzers[@]}" | xargs -0 -n 1 -P "$(nproc)" bash -c 'fuzz_one "$1"' _
failed=0
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer" _fuzz)
  if [ "$(cat "$scratch/$name.status")" != 0 ]; then
    tail -n 40 "$scratch/$name.log"
    echo "fuzzer $name failed; the input is in build/fuzz/crash-$name" >&2
    cp "$scratch/$name"-crash-* "build/fuzz/crash-$name" 2>/dev/null || true
    failed=1
    continue
  fi
  echo "$name:"
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$scratch/$name.log"
done
exit "$failed"
