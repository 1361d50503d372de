#!/usr/bin/env bash
# Checks that the code keeps its format (clang-format) and passes the fault-finding checks
# (clang-tidy) of the project's configurations. Needs the dev build's compile_commands.json.
set -euo pipefail
cd "$(dirname "$0")/.."

# clang-format reads every folder; clang-tidy the programs' own code, not the tests' scaffolding.
program_folders=(core import store configurator localstore platform programs)
other_folders=(tests bench fuzz)

find "${program_folders[@]}" "${other_folders[@]}" \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format --dry-run --Werror

[ -f build/dev/compile_commands.json ] || cmake --preset dev >/dev/null
tidy_paths=$(printf '%s/|' "${program_folders[@]}")
run-clang-tidy -p build/dev -quiet "${tidy_paths%|}" >build/dev/clang-tidy.log 2>&1 ||
  { grep -E 'warning:|error:' build/dev/clang-tidy.log | sort -u; exit 1; }
echo "clang-format and clang-tidy: clean"
