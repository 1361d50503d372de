#!/usr/bin/env bash
# The whole test suite: installs what is missing, cross-builds the Windows programs, builds the
# Linux programs and runs every test, once under AddressSanitizer and UndefinedBehaviorSanitizer
# and once as shipped, runs each fuzzer for a bounded time, and last runs the Windows programs and
# their tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh test

cmake --preset mingw >/dev/null
cmake --build --preset mingw

cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan

FUZZ_SECONDS="${FUZZ_SECONDS:-30}" scripts/fuzz.sh

cmake --preset dev >/dev/null
cmake --build --preset dev
scripts/lint.sh
scripts/package.sh
ctest --preset dev

tests/windows/run.sh
