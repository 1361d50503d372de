#!/usr/bin/env bash
# Registers the entries with Menorix, opens a folder in Thunar on an Xvfb display of its own,
# right-clicks a file (from the keyboard), reads both entries off the screen with tesseract and
# clicks "In KV5-Briefkorb importieren", which must put the file into the store's active basket.
# Usage: thunar_test.sh <folder of the built programs> <folder for the screenshot>
set -euo pipefail
programs=$1
shots=$2

. "$(dirname "$0")/desktop_session.sh" "$programs" thunar Thunar "$shots/thunar-menu.png"
grep -q "kartiva-explorer-tools-" "$XDG_CONFIG_HOME/Thunar/uca.xml"
file="$work/files/offer $$.txt"
echo "offer of run $$" >"$file"

start_file_manager "$work/files"

# Opens the file's context menu until the screen shows both entries (the view may still load).
found=""
for _ in $(seq 10); do
  xdotool key --window "$window" Escape
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  xdotool key --window "$window" Home
  sleep 0.3
  xdotool key --window "$window" shift+F10
  sleep 1
  read_screen
  if grep -q "In KV5-Briefkorb importieren" "$work/screen.txt" &&
    grep -q "In KV5-Archiv ablegen" "$work/screen.txt"; then
    found=yes
    break
  fi
done
[ -n "$found" ] || { echo "the menu lacks the entries; tesseract read:" >&2; cat "$work/screen.txt" >&2; exit 1; }

# The middle of the word "KV5-Briefkorb", back in screen pixels.
read -r x y < <(place_of KV5-Briefkorb)
[ -n "${x:-}" ] || { echo "no place of the import entry" >&2; exit 1; }
xdotool mousemove "$x" "$y" click 1

for _ in $(seq 150); do
  for document in "$KARTIVA_HOME"/baskets/Eingang/*.001; do
    if cmp -s "$document" "$file"; then
      echo "Thunar offered both entries; the import entry put $(basename "$file") into the basket as $(basename "$document")"
      exit 0
    fi
  done
  sleep 0.2
done
echo "the file did not reach the active basket" >&2
ls -l "$KARTIVA_HOME/baskets/Eingang" >&2
exit 1
