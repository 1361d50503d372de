#!/usr/bin/env bash
# Checks that the code keeps its format (clang-format), its layers (scripts/include_rules) and
# passes the fault-finding checks (clang-tidy) of the project's configurations, over the Linux and
# the Windows builds (it configures the dev and mingw presets for their compile_commands.json).
set -euo pipefail
cd "$(dirname "$0")/.."

# clang-format reads every folder; clang-tidy the programs' own code, not the tests' scaffolding.
program_folders=(core mappix tresolo menorix linux_base localstore platform programs)
other_folders=(tests bench fuzz)

find "${program_folders[@]}" "${other_folders[@]}" \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format --dry-run --Werror

# The layers: each folder includes, names and links only what its rule allows. The self-test checks
# the tree, then proves on a scratch copy that the check catches each wrong way it lists (core
# including platform, a form declaring a store function by hand, a new sub-folder, a .cc file...).
scripts/check_layers.py --self-test

# clang-tidy over the programs' own sources of a build, given its folder and extra compiler flags.
tidy() {
  local build=$1
  shift
  local folders
  folders=$(printf '%s|' "${program_folders[@]}")
  run-clang-tidy -p "$build" -quiet "$@" "^$PWD/(${folders%|})/.*\.cpp\$" \
    >"$build/clang-tidy.log" 2>&1 ||
    { grep -E 'warning:|error:' "$build/clang-tidy.log" | sort -u; exit 1; }
}

# The Windows build's commands name mingw's g++: clang compiles them for the mingw target, with
# mingw's C++ library headers, which it does not find by itself.
mingw_flags() {
  local compiler
  compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER \(.*\))$/\1/p' cmake/mingw-w64-x86_64.cmake)
  echo "-extra-arg=--target=x86_64-w64-mingw32 -extra-arg=-nostdinc++"
  "$compiler" -xc++ -E -v /dev/null 2>&1 |
    sed -n '/#include <...>/,/End of/s|^ \(.*include/c++.*\)|-extra-arg=-isystem\1|p'
}

[ -f build/dev/compile_commands.json ] || cmake --preset dev >/dev/null
tidy build/dev
[ -f build/mingw/compile_commands.json ] || cmake --preset mingw >/dev/null
# shellcheck disable=SC2046 # one flag a word
tidy build/mingw $(mingw_flags)
echo "clang-format, the include rules and clang-tidy: clean"
