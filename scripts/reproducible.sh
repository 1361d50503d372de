#!/usr/bin/env bash
# Proves that the .deb is reproducible: the last commit, cloned into two folders of different names
# and depths, gives byte-identical packages through `scripts/package.sh deb` in each. Where they
# differ, says which members do.
set -euo pipefail
cd "$(dirname "$0")/.."

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Both folders compile every object: a compiler cache would hand the second build the first's
# objects, and the comparison would prove nothing of what the compiler makes.
export CCACHE_DISABLE=1
commit=$(git rev-parse HEAD)
build_in() {
  git clone --quiet --no-hardlinks --no-checkout . "$1"
  git -C "$1" checkout --quiet --detach "$commit"
  (cd "$1" && scripts/package.sh deb >/dev/null)
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
