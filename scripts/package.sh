#!/usr/bin/env bash
# Builds the Linux .deb from the dev build, and the Windows .zip and .msi from the mingw build, and
# proves them: unpacked into a scratch folder, the packaged Mappix imports a file into a new local
# store through its link in bin/; the .zip and the .msi hold the three programs, and the .msi the
# two context-menu entries (tests/windows installs it under Wine and starts them).
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
launcher="$scratch/root/usr/share/applications/kartiva-menorix.desktop"
desktop-file-validate "$launcher"
[ -x "$scratch/root/usr/bin/$(sed -n 's/^Exec=//p' "$launcher")" ] ||
  { echo "$launcher starts no packaged program" >&2; exit 1; }
for size in 16 32 48; do
  cmp platform/qt/icons/menorix-$size.png \
    "$scratch/root/usr/share/icons/hicolor/${size}x$size/apps/$(sed -n 's/^Icon=//p' "$launcher").png"
done
echo "package: $deb ($(du -h "$deb" | cut -f1)), its Mappix imports, Menorix has its launcher"

(cd build/mingw && cpack >/dev/null)
zip=$(ls build/mingw/kartiva-explorer-tools-*-windows-x64.zip)
listing=$(cd "$scratch" && cmake -E tar tf "$OLDPWD/$zip")
for program in Mappix Tresolo Menorix; do
  grep -qx "kartiva-explorer-tools-.*-windows-x64/$program.exe" <<<"$listing" ||
    { echo "$zip lacks $program.exe" >&2; exit 1; }
done
echo "package: $zip ($(du -h "$zip" | cut -f1)), with the three programs"

cmake --build build/mingw --target msi >/dev/null
msi=$(ls build/mingw/kartiva-explorer-tools-*-x64.msi)
files=$(msiinfo export "$msi" File)
for program in Mappix Tresolo Menorix; do
  grep -q "^$program.exe" <<<"$files" || { echo "$msi lacks $program.exe" >&2; exit 1; }
done
for verb in "In KV5-Briefkorb importieren" "In KV5-Archiv ablegen"; do
  [ "$(msiinfo export "$msi" Registry | grep -cF "*\\shell\\$verb")" -eq 3 ] ||
    { echo "$msi lacks the entry $verb" >&2; exit 1; }
done
echo "package: $msi ($(du -h "$msi" | cut -f1)), with the three programs and both entries"
