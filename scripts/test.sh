#!/usr/bin/env bash
# The test suite: installs what is missing, then runs the stages named on the command line in the
# order given, or without arguments all of them in the order below (as CI runs it). Each stage
# builds what it needs itself, so any one can run alone.
set -euo pipefail
cd "$(dirname "$0")/.."

# The quick Linux tests come first, so that a broken change fails in minutes, not after the
# Release builds, the fuzzers and the packages.
stages=(linux powercut windows plain asan fuzz lint package reproducible wine)

usage() {
  cat <<EOF
usage: scripts/test.sh [-h] [stage...]
Runs the stages named, in the order given; without one, all: ${stages[*]}.
  linux    builds and runs the Linux tests
  powercut cuts the power under a store on loop-mounted ext4 (also with fast_commit), xfs and
           btrfs, right after the tools returned and 6 s later, and checks every document (root;
           one to three minutes; a file system or loop devices that are missing are skipped, saying so)
  windows  cross-builds the Windows programs and their tests (mingw-w64)
  plain    builds the programs as a packager does, a plain Release build without the presets'
           warnings-as-errors and without the tests, once with g++ and once with clang++; a
           warning, or a test hook in the programs, fails the stage
  asan     builds and runs the Linux tests under AddressSanitizer and UndefinedBehaviorSanitizer
  fuzz     runs each fuzzer for FUZZ_SECONDS (default 30) from its committed corpus
  lint     clang-format, the include rules and clang-tidy over the Linux and the Windows builds
           (scripts/lint.sh)
  package  makes the .deb, the Windows .zip and the .msi and proves them (scripts/package.sh);
           hardening-check's failures and lintian's errors and warnings on the .deb fail the
           stage
  reproducible
           builds the .deb of the last commit in two folders and compares them byte for byte
           (scripts/reproducible.sh)
  wine     runs the Windows programs and their tests under Wine (tests/windows/run.sh)
EOF
}

# Each preset is configured and built once per run, however many stages need it.
declare -A built=()
build() {
  [ -n "${built[$1]:-}" ] && return
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
  built[$1]=1
}

# A plain build as `cmake -S . -B <dir> -DCMAKE_BUILD_TYPE=Release && cmake --build <dir>`: the
# compile warnings are kept and counted, since they do not stop the build.
plain_build() {
  local compiler=$1 dir=build/plain-$2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$compiler" \
    -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$dir" --clean-first | tee "$dir/build.log"
  if grep -q 'warning:' "$dir/build.log"; then
    echo "plain build with $compiler: warnings: $(grep -c 'warning:' "$dir/build.log")" >&2
    return 1
  fi
  ! grep -rlF -e KARTIVA_CRASH_AT -e KARTIVA_FLUSH_LOG "$dir/programs" ||
    { echo "plain build with $compiler: the programs hold the crash tests' hooks" >&2; return 1; }
}

# One command a line: errexit stops a stage at the first command that fails.
stage_windows() { build mingw; }
stage_plain() {
  plain_build g++ gcc
  plain_build clang++ clang
}
stage_asan() {
  build asan
  ctest --preset asan
}
stage_fuzz() { FUZZ_SECONDS="${FUZZ_SECONDS:-30}" scripts/fuzz.sh; }
stage_lint() {
  build dev
  scripts/lint.sh
}
stage_package() {
  scripts/package.sh deb windows
  lintian --fail-on error,warning build/app/kartiva-explorer-tools_*.deb
}
stage_reproducible() { scripts/reproducible.sh; }
stage_linux() {
  build dev
  ctest --preset dev
}
stage_powercut() {
  build dev
  ctest --preset powercut
}
stage_wine() {
  build mingw
  tests/windows/run.sh
}

for stage in "$@"; do
  case "$stage" in
    -h | --help) usage; exit 0 ;;
  esac
  if ! declare -F "stage_$stage" >/dev/null; then
    echo "scripts/test.sh: no stage '$stage'" >&2
    usage >&2
    exit 2
  fi
done
[ $# -gt 0 ] || set -- "${stages[@]}"

scripts/setup.sh test
# Every build shares one compiler cache where ccache is there, with the builds of earlier runs too
# (a launcher the caller chose stays); the reproducible stage compiles without it.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
fi
for stage in "$@"; do
  echo "== $stage"
  "stage_$stage"
done
