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

# A display of its own, numbered by the server itself, so that parallel runs never collide.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "run.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

start=$SECONDS
wine64 wineboot --init >/dev/null 2>&1
echo "Wine prefix ready in $((SECONDS - start)) s"

ctest --preset mingw "$@"
