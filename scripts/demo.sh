#!/usr/bin/env bash
# Builds Mappix and imports a sample file into the local store (build/demo-store unless
# KARTIVA_HOME names another). The first run asks whether to start the client: answer y.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build
cmake --preset app >/dev/null
cmake --build --preset app --target Mappix >/dev/null

export KARTIVA_HOME="${KARTIVA_HOME:-$PWD/build/demo-store}"
export KARTIVA_UI="${KARTIVA_UI:-console}"
build/app/programs/Mappix "$PWD/samples/Angebot Büromöbel.txt"

echo
echo "Store: $KARTIVA_HOME"
[ -f "$KARTIVA_HOME/journal.log" ] && tail -n 6 "$KARTIVA_HOME/journal.log"
