#!/usr/bin/env bash
# Builds the Linux .deb from the dev build and proves it: unpacked into a scratch folder, the
# packaged Mappix imports a file into a new local store through its link in bin/.
set -euo pipefail
cd "$(dirname "$0")/.."

(cd build/dev && cpack >/dev/null)
deb=$(ls build/dev/kartiva-explorer-tools_*.deb)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
echo "packaged file" >"$scratch/offer.txt"
echo y | KARTIVA_HOME="$scratch/store" KARTIVA_UI=console \
  "$scratch/root/usr/bin/Mappix" "$scratch/offer.txt" 2>/dev/null
cmp "$scratch/offer.txt" "$scratch/store/baskets/Eingang/00000001.001"
echo "package: $deb ($(du -h "$deb" | cut -f1)), its Mappix imports"
