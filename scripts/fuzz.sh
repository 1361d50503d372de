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
for fuzzer in build/fuzz/fuzz/*_fuzz; do
  name=$(basename "$fuzzer" _fuzz)
  corpus="fuzz/corpus/$name"
  mkdir -p "$corpus" "$scratch/$name"
  grow="$scratch/$name"
  [ "${FUZZ_GROW:-0}" = 1 ] && grow="$corpus"
  echo "fuzzing $name for ${seconds}s"
  if ! "$fuzzer" -max_total_time="$seconds" -max_len=200000 -print_final_stats=1 \
      -artifact_prefix="$scratch/" "$grow" "$corpus" >"$scratch/$name.log" 2>&1; then
    tail -n 40 "$scratch/$name.log"
    echo "fuzzer $name failed; the input is in build/fuzz/crash-$name" >&2
    cp "$scratch"/crash-* "build/fuzz/crash-$name" 2>/dev/null || true
    exit 1
  fi
  grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$scratch/$name.log"
done
