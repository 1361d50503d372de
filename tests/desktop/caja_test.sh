#!/usr/bin/env bash
# Registers the entries with Menorix, opens a folder in Caja on an Xvfb display of its own, selects
# three files (one named "Rabatt 20%.txt", whose % Caja garbles in script arguments, beside a decoy
# "Rabatt 20txt"), and runs the script "In KV5-Briefkorb importieren" from the context menu, read
# off the screen with tesseract: all three files must reach the active basket, the decoy not.
# Usage: caja_test.sh <folder of the built programs> <folder for the screenshot>
set -euo pipefail
programs=$1
shots=$2

for tool in caja Xvfb xdotool import convert tesseract dbus-run-session setsid; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
xvfb_pid=""
caja_pid=""
cleanup() {
  # Caja runs in a session of its own, with its D-Bus daemon and helpers: all of it ends here,
  # and only then goes the folder, which they may still be writing their settings into.
  if [ -n "$caja_pid" ]; then
    kill -- "-$caja_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 -- "-$caja_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL -- "-$caja_pid" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work" || { sleep 1; rm -rf "$work"; } || true
}
trap cleanup EXIT

# A user of the test's own: nothing of the machine's user is read or written.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" KARTIVA_HOME="$work/store"
export KARTIVA_UI=console NO_AT_BRIDGE=1
unset KARTIVA_REGISTRY
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/files"
chmod 700 "$XDG_RUNTIME_DIR"

tools="$work/Kartiva \"Tools\" \$HOME 100% it's \\ Jürgen"
mkdir -p "$tools"
cp "$programs/Mappix" "$programs/Tresolo" "$programs/Menorix" "$tools/"

# A running store (the first import answers "Kartiva starten?"), and the entries.
echo warm-up >"$work/warm-up.txt"
echo y | "$tools/Mappix" "$work/warm-up.txt" 2>/dev/null
rm "$KARTIVA_HOME"/baskets/Eingang/*
echo a | "$tools/Menorix" >/dev/null 2>&1
[ -x "$XDG_CONFIG_HOME/caja/scripts/In KV5-Briefkorb importieren" ]
chosen=("Rabatt 20%.txt" "offer $$.txt" "scan $$.txt")
for name in "${chosen[@]}"; do echo "content of $name" >"$work/files/$name"; done
echo "the decoy" >"$work/files/Rabatt 20txt"

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

setsid dbus-run-session -- caja --no-desktop --browser "$work/files" >"$work/caja.log" 2>&1 &
caja_pid=$!
window=""
for _ in $(seq 150); do
  window=$(xdotool search --onlyvisible --class Caja 2>/dev/null | head -n 1) || true
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "Caja showed no window" >&2; cat "$work/caja.log" >&2; exit 1; }

# Reads the screen: the words with their boxes (tesseract's TSV) of a twice enlarged grey copy.
read_screen() {
  import -window root "$shots/caja-menu.png"
  convert "$shots/caja-menu.png" -colorspace Gray -resize 200% "$work/large.png"
  tesseract "$work/large.png" "$work/screen" --psm 6 txt tsv >/dev/null 2>&1
}
# The middle of the word $1 on the screen, in screen pixels.
place_of() {
  awk -F'\t' -v word="$1" '$12 == word { print int(($7 + $9 / 2) / 2), int(($8 + $10 / 2) / 2); exit }' "$work/screen.tsv"
}

# Selects the three files ending in .txt (Edit > Select Items Matching), opens the context menu
# and its Scripts submenu, until the screen shows the import script.
found=""
for _ in $(seq 10); do
  xdotool key --window "$window" Escape Escape
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool key --window "$window" ctrl+s
  dialog=""
  for _ in $(seq 25); do
    dialog=$(xdotool search --onlyvisible --class Caja 2>/dev/null | grep -vx "$window" | tail -n 1) || true
    [ -n "$dialog" ] && break
    sleep 0.2
  done
  [ -n "$dialog" ] || continue
  xdotool windowfocus --sync "$dialog" 2>/dev/null || true
  xdotool type --delay 20 '*.txt'
  xdotool key Return
  sleep 0.5
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool key shift+F10
  sleep 1
  read_screen
  read -r x y < <(place_of Scripts) || true
  [ -n "${x:-}" ] || continue
  xdotool mousemove "$x" "$y"
  sleep 1
  read_screen
  if grep -q "In KV5-Briefkorb importieren" "$work/screen.txt"; then
    found=yes
    break
  fi
done
[ -n "$found" ] || { echo "no import script in the menu; tesseract read:" >&2; cat "$work/screen.txt" >&2; exit 1; }
read -r x y < <(place_of KV5-Briefkorb)
xdotool mousemove "$x" "$y" click 1

# Every chosen file's content in the basket once, and the decoy's never.
arrived() {
  local count=0 document
  for document in "$KARTIVA_HOME"/baskets/Eingang/*.001; do
    [ -e "$document" ] && count=$((count + 1))
  done
  [ "$count" -ge 3 ]
}
for _ in $(seq 100); do arrived && break; sleep 0.2; done
sleep 0.5
contents=$(cat "$KARTIVA_HOME"/baskets/Eingang/*.001 2>/dev/null | sort)
expected=$(for name in "${chosen[@]}"; do echo "content of $name"; done | sort)
if [ "$contents" != "$expected" ]; then
  echo "the basket holds:" >&2; echo "$contents" >&2
  echo "expected:" >&2; echo "$expected" >&2
  exit 1
fi
echo "Caja ran the import script on the three selected files, Rabatt 20%.txt among them; the decoy stayed out"
