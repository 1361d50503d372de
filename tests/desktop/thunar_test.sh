#!/usr/bin/env bash
# Registers the entries with Menorix, opens a folder in Thunar on an Xvfb display of its own,
# right-clicks a file (from the keyboard), reads both entries off the screen with tesseract and
# clicks "In KV5-Briefkorb importieren", which must put the file into the store's active basket.
# Usage: thunar_test.sh <folder of the built programs> <folder for the screenshot>
set -euo pipefail
programs=$1
shots=$2

for tool in thunar Xvfb xdotool import convert tesseract dbus-run-session setsid; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
xvfb_pid=""
thunar_pid=""
cleanup() {
  # Thunar runs in a session of its own, with its D-Bus daemon and helpers: all of it ends here,
  # and only then goes the folder, which they may still be writing their settings into.
  if [ -n "$thunar_pid" ]; then
    kill -- "-$thunar_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 -- "-$thunar_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL -- "-$thunar_pid" 2>/dev/null || true
  fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work" || { sleep 1; rm -rf "$work"; } || true
}
trap cleanup EXIT

# A user of the test's own: nothing of the machine's user is read or written.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime" KARTIVA_HOME="$work/store"
export KARTIVA_UI=console
unset KARTIVA_REGISTRY
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/files"
chmod 700 "$XDG_RUNTIME_DIR"

# The programs in a folder whose name the entries' commands must quote well.
tools="$work/Kartiva \"Tools\" \$HOME 100% it's \\ Jürgen"
mkdir -p "$tools"
cp "$programs/Mappix" "$programs/Tresolo" "$programs/Menorix" "$tools/"

# A running store (the first import answers "Kartiva starten?"), and the entries.
echo warm-up >"$work/warm-up.txt"
echo y | "$tools/Mappix" "$work/warm-up.txt" 2>/dev/null
echo a | "$tools/Menorix" >/dev/null 2>&1
grep -q "kartiva-explorer-tools-" "$XDG_CONFIG_HOME/Thunar/uca.xml"
file="$work/files/offer $$.txt"
echo "offer of run $$" >"$file"

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
display=$(head -n 1 "$work/display")
export DISPLAY=":$display"

setsid dbus-run-session -- thunar "$work/files" >"$work/thunar.log" 2>&1 &
thunar_pid=$!
window=""
for _ in $(seq 150); do
  window=$(xdotool search --onlyvisible --class Thunar 2>/dev/null | head -n 1) || true
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "Thunar showed no window" >&2; cat "$work/thunar.log" >&2; exit 1; }

# Reads the screen: the words with their boxes (tesseract's TSV) of a twice enlarged grey copy,
# in which the small menu font reads reliably.
read_screen() {
  import -window root "$shots/thunar-menu.png"
  convert "$shots/thunar-menu.png" -colorspace Gray -resize 200% "$work/large.png"
  tesseract "$work/large.png" "$work/screen" --psm 6 txt tsv >/dev/null 2>&1
}

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
read -r x y < <(awk -F'\t' '$12 == "KV5-Briefkorb" { print int(($7 + $9 / 2) / 2), int(($8 + $10 / 2) / 2); exit }' "$work/screen.tsv")
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
