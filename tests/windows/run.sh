#!/usr/bin/env bash
# Runs the Windows tests of the mingw build (build/mingw) under Wine: one throw-away Wine prefix in
# a temporary folder and one Xvfb display for the whole run, then `ctest --preset mingw`, whose
# summary is the last thing printed; arguments go to ctest (tests/windows/run.sh -R Menorix).
# Needs wine64, xvfb and xdotool (scripts/setup.sh test).
set -euo pipefail
cd "$(dirname "$0")/../.."

# Debian's wine64 keeps wine64 and wineserver in /usr/lib/wine.
export PATH="/usr/lib/wine:$PATH"
for tool in wine64 wineserver Xvfb xdotool; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (scripts/setup.sh test)" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko installer dialogs
export KARTIVA_XDOTOOL="Z:$(command -v xdotool | tr / '\\')"

. scripts/xvfb.sh
start_xvfb "$work"

start=$SECONDS
wine64 wineboot --init >/dev/null 2>&1
echo "Wine prefix ready in $((SECONDS - start)) s"

ctest --preset mingw "$@"
