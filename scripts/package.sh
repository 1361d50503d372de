#!/usr/bin/env bash
# Makes the packages named on the command line, or without one both, and proves them:
#   deb      the Linux .deb in build/app (needs neither Wine nor mingw), built as Debian builds a
#            package (dpkg-buildflags with every hardening feature and link-time optimisation,
#            the last commit's time for every timestamp): unpacked into a scratch folder, its
#            Mappix imports a file into a new local store through its link in bin/, Menorix has
#            its launcher and icons, every command its manual page, and the README it ships
#            speaks to users, naming no folder of the source tree; no file holds a hook of the
#            tests, and hardening-check passes on every program and library, whose C library the
#            package asks for
#   windows  the Windows .zip and .msi in build/mingw: the .zip and the .msi hold the three
#            programs, and the .msi the two context-menu entries (tests/windows installs it under
#            Wine and starts them)
set -euo pipefail
cd "$(dirname "$0")/.."

usage() { echo "usage: scripts/package.sh [deb] [windows]" >&2; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "$1" >&2
  exit 1
}

# Every timestamp a package holds is the last commit's (the changelog's outside a git checkout).
source_date_epoch() {
  git log -1 --format=%ct 2>/dev/null ||
    dpkg-parsechangelog -l packaging/debian/changelog -STimestamp
}

# The flags of kind $1 that a Debian package build uses, with every hardening feature and
# link-time optimisation: the link sees the whole program and leaves out or merges what one
# object cannot, and a silent run fetches some 110 cache lines of code fewer (callgrind).
build_flags() {
  DEB_BUILD_MAINT_OPTIONS="hardening=+all optimize=+lto" dpkg-buildflags --get "$1"
}

package_deb() {
  scripts/setup.sh package
  # The flags of a Debian package build; CMake reads no CPPFLAGS, so they go with the compiler's.
  # A fresh configuration, so that flags cached by an earlier build of the folder never stay.
  CXXFLAGS="$(build_flags CXXFLAGS) $(build_flags CPPFLAGS)" LDFLAGS="$(build_flags LDFLAGS)" \
    cmake --preset app --fresh >/dev/null
  cmake --build --preset app >/dev/null
  rm -f build/app/kartiva-explorer-tools_*.deb
  (cd build/app && cpack >/dev/null)
  local deb
  deb=$(ls build/app/kartiva-explorer-tools_*.deb)
  prove_deb "$deb"
  echo "package: $deb ($(du -h "$deb" | cut -f1)), its Mappix imports, Menorix has its launcher"
}

prove_deb() {
  local root=$scratch/root
  dpkg-deb -x "$1" "$root"
  echo "packaged file" >"$scratch/offer.txt"
  # A runtime folder of the proof's own: its lock and meeting place never stay in the real /tmp.
  mkdir -m 700 "$scratch/runtime"
  echo y | KARTIVA_HOME="$scratch/store" KARTIVA_UI=console XDG_RUNTIME_DIR="$scratch/runtime" \
    "$root/usr/bin/Mappix" "$scratch/offer.txt" 2>/dev/null
  cmp "$scratch/offer.txt" "$scratch/store/baskets/Eingang/00000001.001"
  local launcher=$root/usr/share/applications/kartiva-menorix.desktop
  desktop-file-validate "$launcher"
  [ -x "$root/usr/bin/$(sed -n 's/^Exec=//p' "$launcher")" ] ||
    fail "$launcher starts no packaged program"
  for size in 16 32 48; do
    cmp platform/qt/icons/menorix-$size.png \
      "$root/usr/share/icons/hicolor/${size}x$size/apps/$(sed -n 's/^Icon=//p' "$launcher").png"
  done
  for program in Mappix Tresolo Menorix; do
    local page=$root/usr/share/man/man1/$program.1.gz
    [ -f "$page" ] || fail "$program has no manual page"
    [ -z "$(LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)" ] ||
      fail "$page: the manual page has faults"
  done
  local readme=$root/usr/share/doc/kartiva-explorer-tools/README.md.gz
  ! zgrep -nE 'scripts/|build/' "$readme" || fail "$readme names folders of the source tree"
  ! zgrep -n '^## Windows' "$readme" || fail "$readme has the part for Windows"
  ! grep -rlF KARTIVA_CRASH_AT "$root" || fail "the package holds the crash tests' hooks"
  local elf
  for elf in "$root"/usr/lib/*/kartiva-explorer-tools/*; do
    hardening-check "$elf" >"$scratch/hardening" || fail "$(cat "$scratch/hardening")"
    needs_c_library_from "$elf" "$1"
  done
}

# The package asks for a C library as new as every version the program $1 needs of it; packed
# relocations (GLIBC_ABI_DT_RELR) came with 2.36.
needs_c_library_from() {
  local needed asked
  needed=$(readelf -V "$1" | grep -oE 'Name: GLIBC_(2\.[0-9]+|ABI_DT_RELR)' |
    sed -e 's/.*GLIBC_//' -e 's/ABI_DT_RELR/2.36/' | sort -V | tail -1)
  asked=$(dpkg-deb -f "$2" Depends | grep -oE 'libc6 \(>= [0-9.]+\)' |
    sed -E 's/.*>= ([0-9.]+)\)/\1/' | sort -V | tail -1)
  dpkg --compare-versions "${asked:-0}" ge "$needed" ||
    fail "$1 needs the C library $needed, the package asks for ${asked:-none}"
}

package_windows() {
  scripts/setup.sh test
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw >/dev/null
  (cd build/mingw && cpack >/dev/null)
  local zip msi listing files
  zip=$(ls build/mingw/kartiva-explorer-tools-*-windows-x64.zip)
  listing=$(cmake -E tar tf "$zip")
  for program in Mappix Tresolo Menorix; do
    grep -qx "kartiva-explorer-tools-.*-windows-x64/$program.exe" <<<"$listing" ||
      fail "$zip lacks $program.exe"
  done
  echo "package: $zip ($(du -h "$zip" | cut -f1)), with the three programs"

  cmake --build build/mingw --target msi >/dev/null
  msi=$(ls build/mingw/kartiva-explorer-tools-*-x64.msi)
  files=$(msiinfo export "$msi" File)
  for program in Mappix Tresolo Menorix; do
    grep -q "^$program.exe" <<<"$files" || fail "$msi lacks $program.exe"
  done
  for verb in "In KV5-Briefkorb importieren" "In KV5-Archiv ablegen"; do
    [ "$(msiinfo export "$msi" Registry | grep -cF "*\\shell\\$verb")" -eq 3 ] ||
      fail "$msi lacks the entry $verb"
  done
  echo "package: $msi ($(du -h "$msi" | cut -f1)), with the three programs and both entries"
}

for part in "$@"; do
  case "$part" in
    deb | windows) ;;
    *) usage; exit 2 ;;
  esac
done
[ $# -gt 0 ] || set -- deb windows
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(source_date_epoch)}
for part in "$@"; do
  "package_$part"
done
