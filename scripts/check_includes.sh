#!/usr/bin/env bash
# Checks every #include "..." of the folders named in scripts/include_rules against its folder's
# rule and names each one that crosses a layer. Usage: scripts/check_includes.sh [source root]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

rules=$(grep -v '^#' scripts/include_rules)
status=0
while read -r folder allowed; do
  folder=${folder%:}
  [ -n "$folder" ] || continue
  files=$(find "$folder" -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
  [ -n "$files" ] || continue
  # shellcheck disable=SC2086 # the file names hold no blanks
  awk -v folder="$folder" -v allowed=" $folder $allowed " '
    /^[ \t]*#[ \t]*include[ \t]*"/ {
      split($0, parts, "\"")
      header = parts[2]
      from = header
      if (!sub(/\/[^\/]*$/, "", from)) from = "."
      if (index(allowed, " " from " ") == 0) {
        printf "%s:%d: includes \"%s\", which %s/ may not (scripts/include_rules)\n", FILENAME,
          FNR, header, folder
        crossed = 1
      }
    }
    END { exit crossed }' $files >&2 || status=1
done <<<"$rules"
exit "$status"
