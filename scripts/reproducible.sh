#!/usr/bin/env bash
# Proves that the .deb and the Windows .zip are reproducible: the last commit, cloned into two
# folders of different names and depths, gives byte-identical packages in each, the .deb through
# `scripts/package.sh deb`, the .zip from the Windows programs alone (the tests left out, which it
# does not hold). Where the .debs differ, says which members do.
set -euo pipefail
cd "$(dirname "$0")/.."

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Both folders compile every object: a compiler cache would hand the second build the first's
# objects, and the comparison would prove nothing of what the compiler makes.
export CCACHE_DISABLE=1
commit=$(git rev-parse HEAD)
# The .zip's members carry the last commit's time, as scripts/package.sh gives the .deb's.
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
build_in() {
  git clone --quiet --no-hardlinks --no-checkout . "$1"
  git -C "$1" checkout --quiet --detach "$commit"
  (cd "$1" && scripts/package.sh deb >/dev/null)
  (cd "$1" && cmake --preset mingw -DBUILD_TESTING=OFF >/dev/null &&
    cmake --build --preset mingw >/dev/null && cd build/mingw && cpack >/dev/null)
}

# Says which files of the two packages differ, unpacked.
tell_differences() {
  dpkg-deb -R "$1" "$scratch/one"
  dpkg-deb -R "$2" "$scratch/two"
  diff -r "$scratch/one" "$scratch/two" || true
  diff <(dpkg-deb -c "$1") <(dpkg-deb -c "$2") || true
}

first=$scratch/a/kartiva
second=$scratch/another/folder/kartiva-explorer-tools
build_in "$first"
build_in "$second"
one=$(ls "$first"/build/app/kartiva-explorer-tools_*.deb)
two=$(ls "$second"/build/app/kartiva-explorer-tools_*.deb)
if ! cmp "$one" "$two"; then
  tell_differences "$one" "$two" >&2
  echo "the packages built in two folders differ" >&2
  exit 1
fi
echo "reproducible: $(basename "$one") built in two folders, byte for byte the same" \
  "(sha256 $(sha256sum "$one" | cut -c1-16))"
one=$(ls "$first"/build/mingw/kartiva-explorer-tools-*-windows-x64.zip)
two=$(ls "$second"/build/mingw/kartiva-explorer-tools-*-windows-x64.zip)
if ! cmp "$one" "$two"; then
  diff <(cmake -E tar tvf "$one") <(cmake -E tar tvf "$two") >&2 || true
  echo "the Windows .zip files built in two folders differ" >&2
  exit 1
fi
echo "reproducible: $(basename "$one") built in two folders, byte for byte the same" \
  "(sha256 $(sha256sum "$one" | cut -c1-16))"
