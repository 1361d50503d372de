#!/usr/bin/env bash
# Checks that the code keeps its format (clang-format), its layers (scripts/include_rules) and
# passes the fault-finding checks (clang-tidy) of the project's configurations. Needs the dev
# build's compile_commands.json.
set -euo pipefail
cd "$(dirname "$0")/.."

# clang-format reads every folder; clang-tidy the programs' own code, not the tests' scaffolding.
program_folders=(core import store configurator localstore platform programs)
other_folders=(tests bench fuzz)

find "${program_folders[@]}" "${other_folders[@]}" \( -name '*.cpp' -o -name '*.h' \) -print0 |
  xargs -0 clang-format --dry-run --Werror

# The layers: each folder includes only from the folders its rule names. The check proves first, on
# a scratch copy, that it notices a core file including a platform header.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -r scripts "${program_folders[@]}" "$scratch"
echo '#include "platform/program_main.h"' >>"$scratch/core/error.h"
if scripts/check_includes.sh "$scratch" 2>/dev/null; then
  echo "scripts/check_includes.sh let core/ include a platform/ header" >&2
  exit 1
fi
scripts/check_includes.sh

[ -f build/dev/compile_commands.json ] || cmake --preset dev >/dev/null
tidy_paths=$(printf '%s/|' "${program_folders[@]}")
run-clang-tidy -p build/dev -quiet "${tidy_paths%|}" >build/dev/clang-tidy.log 2>&1 ||
  { grep -E 'warning:|error:' build/dev/clang-tidy.log | sort -u; exit 1; }
echo "clang-format, the include rules and clang-tidy: clean"
