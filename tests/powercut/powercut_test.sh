#!/usr/bin/env bash
# Cuts the power under a store on real file systems, each in an image file on a loop device:
# ext4 as mkfs and mount make it, ext4 with fast_commit, xfs, and btrfs. A user starts the store
# with a first Mappix, imports files of varied sizes, stores a basket document and a foreign file
# with Tresolo and imports a selection at once, which one batch takes in (of 100 files when the cut
# comes right after it, of 5 otherwise); then, right after the last run returned and
# in a second round 6 s later, the file system is shut down without writing back its cache or
# flushing its log (godown), as a power cut leaves it. btrfs cannot be shut down so: its image is
# copied at that moment instead, and the copy is what comes back. After the next mount every file
# handed in must be where its tool put it, exactly once, byte for byte, with the archive's index
# sound and agreeing with its files; and so again after `Tresolo --check`, with nothing left over.
#
# Usage: powercut_test.sh <folder of the built programs> <godown> [file system...]
#   file systems: ext4 ext4-fast_commit xfs btrfs (default: all). Needs root and loop devices;
#   what cannot run here is named and skipped (status 77 when nothing ran).
set -euo pipefail
programs=$1
godown=$2
shift 2
[ $# -gt 0 ] || set -- ext4 ext4-fast_commit xfs btrfs

skip() { echo "SKIP: $*"; }
[ "$(id -u)" -eq 0 ] || { skip "mounting file systems needs root"; exit 77; }
for tool in losetup mount umount sqlite3 sha256sum; do
  command -v "$tool" >/dev/null || { skip "$tool is not installed"; exit 77; }
done
losetup -f >/dev/null 2>&1 || { skip "no loop device is free or loop devices are unavailable"; exit 77; }

work=$(mktemp -d)
mnt="$work/mnt"
cleanup() {
  if mountpoint -q "$mnt"; then umount "$mnt" 2>/dev/null || umount -l "$mnt"; fi
  mountpoint -q "$mnt" || rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$mnt" "$work/outside"
export KARTIVA_HOME="$mnt/home" KARTIVA_UI=console XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
basket="$KARTIVA_HOME/baskets/Eingang"
archive="$KARTIVA_HOME/archives/Allgemein"

# The files handed in, with random bytes: "<where the tool puts it> <size> <path>". Most lie on the
# cut file system, as a user's files beside the store do (xfs and btrfs then share the copy's
# blocks with its source); the big scan comes from another file system.
files=(
  "basket 9000 $mnt/files/epsilon.txt"
  "basket 3145745 $work/outside/scan.pdf"
  "archive 300 $mnt/files/note.txt"
  "archive 200000 $mnt/files/offer 2026.doc"
  "basket 1 $mnt/files/selected/page 1.txt"
  "basket 4096 $mnt/files/selected/page 2.txt"
  "basket 9000 $mnt/files/selected/page 3.txt"
  "basket 65537 $mnt/files/selected/page 4.txt"
  "basket 1048579 $mnt/files/selected/page 5.txt"
)
for page in $(seq 6 100); do files+=("basket $((page * 37)) $mnt/files/selected/page $page.txt"); done
pages=5 # of the selection this round

# Makes the files, all flushed before the store sees them, and notes "<where> <sha256> <path>" of
# each in $work/expected.
make_files() {
  local entry place size path
  : >"$work/expected"
  for entry in "${files[@]}"; do
    read -r place size path <<<"$entry"
    [[ $path =~ /page\ ([0-9]+)\.txt$ ]] && [ "${BASH_REMATCH[1]}" -gt "$pages" ] && continue
    mkdir -p "$(dirname "$path")"
    head -c "$size" /dev/urandom >"$path"
    echo "$place $(sha256sum <"$path" | cut -d' ' -f1) $path" >>"$work/expected"
  done
  sync
}

path_of() { grep -F "/$1" "$work/expected" | cut -d' ' -f3-; }

failures=()
# Runs a tool on one file as the file manager starts it; it must end with status 0, and without a
# word when `silent`.
run_tool() {
  local program=$1 file=$2 answer=$3 silent=$4 status=0
  printf '%s' "$answer" | "$programs/$program" "$file" >"$work/output" 2>&1 || status=$?
  if [ "$status" -ne 0 ] || { [ "$silent" = silent ] && [ -s "$work/output" ]; }; then
    failures+=("$program $file: status $status: $(cat "$work/output")")
  fi
}

# What a user does before the power goes; the selection is imported last, so that the cut comes
# while its documents are newest.
use_the_store() {
  local page pids=() status said
  run_tool Mappix "$(path_of epsilon.txt)" $'j\n' talks # the first run starts the store
  run_tool Mappix "$(path_of scan.pdf)" "" silent
  run_tool Mappix "$(path_of note.txt)" "" silent
  local note
  note=$(for document in "$basket"/*.001; do
    cmp -s "$document" "$(path_of note.txt)" && echo "$document"
  done)
  run_tool Tresolo "$note" "" talks # says it cannot convert the document, and stores it
  run_tool Tresolo "$(path_of 'offer 2026.doc')" "" silent
  for page in $(seq "$pages"); do
    "$programs/Mappix" "$(path_of "page $page.txt")" </dev/null >"$work/page$page" 2>&1 &
    pids+=($!)
  done
  # A selection that takes more than a second shows its progress, which is all it may say. The
  # cut comes as soon as the last instance was told its status.
  for page in $(seq "$pages"); do
    status=0
    wait "${pids[page - 1]}" || status=$?
    said=$(grep -Ev '^(Datei [0-9]+ von|File [0-9]+ of) [0-9]+: ' "$work/page$page" || true)
    [ "$status" -eq 0 ] && [ -z "$said" ] ||
      failures+=("Mappix page $page.txt at once: status $status: $said")
  done
}

# "<place> <sha256> <name>" for every document of the basket and the archive: a regular file
# named by eight digits and .001.
documents() {
  local place folder document
  for place in basket archive; do
    folder=$basket
    [ "$place" = archive ] && folder=$archive
    for document in "$folder"/*.001; do
      if [[ ! $(basename "$document") =~ ^[0-9]{8}\.001$ ]] || [ ! -f "$document" ] ||
        [ -L "$document" ]; then
        continue
      fi
      echo "$place $(sha256sum <"$document" | cut -d' ' -f1) $(basename "$document")"
    done
  done
}

describe() {
  local file=$1 size
  size=$(stat -c %s "$file")
  if [ "$size" -eq 0 ]; then
    echo empty
  elif cmp -s -n "$size" "$file" /dev/zero; then
    echo "$size bytes, all zeros"
  else
    echo "$size bytes"
  fi
}

# Checks the store as a user finds it; `finished` also wants nothing left over or in flight. Each
# kind of fault is one line naming every file it concerns.
check_store() {
  local when=$1 finished=$2 place sha name count found file rows names
  local wrong=() strangers=() changed=() left=()
  found=$(documents)
  while read -r place sha name; do
    count=$(grep -c "^$place $sha " <<<"$found" || true)
    [ "$count" -eq 1 ] || wrong+=("$(basename "$name") $count times in the $place")
  done <"$work/expected"
  while read -r place sha name; do
    [ -n "$place" ] || continue
    grep -q "^$place $sha " "$work/expected" && continue
    file=$basket/$name
    [ "$place" = archive ] && file=$archive/$name
    strangers+=("$place $name ($(describe "$file"))")
  done <<<"$found"
  for file in "$mnt"/files/*.* "$mnt"/files/selected/*; do
    grep -qF " $(sha256sum <"$file" | cut -d' ' -f1) $file" "$work/expected" || changed+=("$file")
  done
  [ ${#wrong[@]} -eq 0 ] || failures+=("$when: not each once where it belongs: $(join "${wrong[@]}")")
  [ ${#strangers[@]} -eq 0 ] || failures+=("$when: documents not handed in: $(join "${strangers[@]}")")
  [ ${#changed[@]} -eq 0 ] || failures+=("$when: sources changed: $(join "${changed[@]}")")
  [ "$(sqlite3 -readonly "$archive/index.sqlite" 'PRAGMA integrity_check' 2>&1)" = ok ] ||
    failures+=("$when: the index fails its integrity check")
  rows=$(sqlite3 -readonly "$archive/index.sqlite" 'SELECT file FROM documents ORDER BY file' 2>&1 || true)
  names=$(grep '^archive ' <<<"$found" | cut -d' ' -f3 | sort || true)
  # shellcheck disable=SC2086 # one file a word
  [ "$rows" = "$names" ] ||
    failures+=("$when: the index rows ($(join $rows)) are not the archive's files ($(join $names))")
  [ "$finished" = finished ] || return 0
  for file in "$basket"/.* "$archive"/.* "$basket"/.inflight/* "$archive"/.inflight/*; do
    case $(basename "$file") in . | .. | .inflight | stamp | '*') continue ;; esac
    left+=("${file#"$KARTIVA_HOME/"}")
  done
  [ ${#left[@]} -eq 0 ] || failures+=("$when: left over: $(join "${left[@]}")")
}

join() {
  local joined=${1:-} item
  shift
  for item; do joined+=", $item"; done
  echo "$joined"
}

# Loop devices come and go with the mounts (mount -o loop frees its device on unmount). A desktop's
# volume monitor may look into a new mount for a moment: the unmount waits for it.
unmount() {
  for _ in $(seq 50); do
    umount "$mnt" 2>/dev/null && return
    sleep 0.2
  done
  fuser -vm "$mnt" >&2 || true
  umount "$mnt"
}

make_file_system() {
  local system=$1 image=$2
  truncate -s 1G "$image"
  case $system in
    ext4) mkfs.ext4 -q "$image" ;;
    ext4-fast_commit) mkfs.ext4 -q -O fast_commit "$image" ;;
    xfs) mkfs.xfs -q "$image" ;;
    btrfs) mkfs.btrfs -q "$image" >/dev/null ;;
  esac
}

# The power goes: what the file system had not written to its disk is lost. Then it comes back.
cut_power() {
  local system=$1 image=$2
  if [ "$system" = btrfs ]; then
    cp --sparse=always "$image" "$image.cut"
    unmount
    mount -o loop "$image.cut" "$mnt"
  else
    "$godown" "$mnt"
    unmount
    mount -o loop "$image" "$mnt"
  fi
}

# One round: a fresh file system, the store used, the cut after `delay` seconds, the checks.
round() {
  local system=$1 delay=$2 image="$work/$1.img" status=0 before=${#failures[@]}
  local name="$system, cut right after the last run"
  [ "$delay" -eq 0 ] || name="$system, cut $delay s after the last run"
  make_file_system "$system" "$image"
  mount -o loop "$image" "$mnt"
  pages=5
  [ "$delay" -ne 0 ] || pages=100
  make_files
  use_the_store
  sleep "$delay"
  cut_power "$system" "$image"
  check_store "$name" unfinished
  "$programs/Tresolo" --check >"$work/output" 2>&1 || status=$?
  [ "$status" -eq 0 ] || failures+=("$name: Tresolo --check ended with $status: $(cat "$work/output")")
  check_store "$name, then Tresolo --check" finished
  unmount
  rm -f "$image" "$image.cut"
  if [ ${#failures[@]} -eq "$before" ]; then
    echo "ok: $name"
  else
    echo "FAILED: $name"
    printf '  %s\n' "${failures[@]:before}"
  fi
}

ran=()
for system in "$@"; do
  tool=mkfs.${system%-*}
  if ! command -v "$tool" >/dev/null; then
    skip "$system: $tool is not installed"
    continue
  fi
  make_file_system "$system" "$work/probe.img"
  if ! mount -o loop "$work/probe.img" "$mnt" 2>"$work/output"; then
    skip "$system: cannot be mounted here: $(cat "$work/output")"
    rm -f "$work/probe.img"
    continue
  fi
  unmount
  rm -f "$work/probe.img"
  for delay in 0 6; do round "$system" "$delay"; done
  ran+=("$system")
done

[ ${#failures[@]} -eq 0 ] || exit 1
[ ${#ran[@]} -gt 0 ] || exit 77
echo "every document survived each cut once and whole on: ${ran[*]}"
