# Sourced by the file-manager tests: a user of the test's own, the built programs in a folder whose
# name the entries' commands must quote well, a running store with the entries registered, an Xvfb
# display, and the file manager in a session of its own, all of it ended on exit.
# Usage: . desktop_session.sh <folder of the built programs> <file manager's command> <its class>
#          <screenshot file>

desktop_programs=$1
desktop_manager=$2
desktop_class=$3
desktop_shot=$4

for tool in "$desktop_manager" Xvfb xdotool import convert tesseract dbus-run-session setsid; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"

work=$(mktemp -d)
xvfb_pid=""
manager_pid=""
cleanup() {
  # The file manager runs in a session of its own, with its D-Bus daemon and helpers: all of it
  # ends here, and only then goes the folder, which they may still be writing their settings into.
  if [ -n "$manager_pid" ]; then
    kill -- "-$manager_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 -- "-$manager_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL -- "-$manager_pid" 2>/dev/null || true
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
cp "$desktop_programs/Mappix" "$desktop_programs/Tresolo" "$desktop_programs/Menorix" "$tools/"

# A running store (the first import answers "Kartiva starten?") with an empty basket, and the
# entries.
echo warm-up >"$work/warm-up.txt"
echo y | "$tools/Mappix" "$work/warm-up.txt" 2>/dev/null
rm "$KARTIVA_HOME"/baskets/Eingang/*.001
echo a | "$tools/Menorix" >/dev/null 2>&1

# Starts the display and the file manager with the arguments given; sets `window` to its window.
start_file_manager() {
  start_xvfb "$work" || exit 1

  setsid dbus-run-session -- "$desktop_manager" "$@" >"$work/manager.log" 2>&1 &
  manager_pid=$!
  window=""
  for _ in $(seq 150); do
    window=$(xdotool search --onlyvisible --class "$desktop_class" 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && break
    sleep 0.2
  done
  [ -n "$window" ] || { echo "$desktop_manager showed no window" >&2; cat "$work/manager.log" >&2; exit 1; }
}

# Reads the screen: the words with their boxes (tesseract's TSV) of a twice enlarged grey copy, in
# which the small menu font reads reliably.
read_screen() {
  import -window root "$desktop_shot"
  convert "$desktop_shot" -colorspace Gray -resize 200% "$work/large.png"
  tesseract "$work/large.png" "$work/screen" --psm 6 txt tsv >/dev/null 2>&1
}
# The middle of the word $1 on the screen, in screen pixels.
place_of() {
  awk -F'\t' -v word="$1" '$12 == word { print int(($7 + $9 / 2) / 2), int(($8 + $10 / 2) / 2); exit }' "$work/screen.tsv"
}
