#!/usr/bin/env bash
# Registers the entries with Menorix, opens a folder in Caja on an Xvfb display of its own, selects
# three files (one named "Rabatt 20%.txt", whose % Caja garbles in script arguments, beside a decoy
# "Rabatt 20txt"), and runs the script "In KV5-Briefkorb importieren" from the context menu, read
# off the screen with tesseract: all three files must reach the active basket, the decoy not.
# Usage: caja_test.sh <folder of the built programs> <folder for the screenshot>
set -euo pipefail
programs=$1
shots=$2

. "$(dirname "$0")/desktop_session.sh" "$programs" caja Caja "$shots/caja-menu.png"
[ -x "$XDG_CONFIG_HOME/caja/scripts/In KV5-Briefkorb importieren" ]
chosen=("Rabatt 20%.txt" "offer $$.txt" "scan $$.txt")
for name in "${chosen[@]}"; do echo "content of $name" >"$work/files/$name"; done
echo "the decoy" >"$work/files/Rabatt 20txt"

start_file_manager --no-desktop --browser "$work/files"

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
# A minute: beside the other tests on a busy machine, Caja and the batch take their time.
for _ in $(seq 300); do arrived && break; sleep 0.2; done
sleep 0.5
contents=$(cat "$KARTIVA_HOME"/baskets/Eingang/*.001 2>/dev/null | sort)
expected=$(for name in "${chosen[@]}"; do echo "content of $name"; done | sort)
if [ "$contents" != "$expected" ]; then
  echo "the basket holds:" >&2; echo "$contents" >&2
  echo "expected:" >&2; echo "$expected" >&2
  exit 1
fi
echo "Caja ran the import script on the three selected files, Rabatt 20%.txt among them; the decoy stayed out"
