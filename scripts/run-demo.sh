#!/usr/bin/env bash
# Sets up the machine, builds the program and opens a demo document.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export CCACHE_BASEDIR="$PWD"
PRESET="${ZT_PRESET:-default}"
cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET"
BIN="build-${PRESET}"
[ "$PRESET" = default ] && BIN=build
ZTD="$BIN/tools/ztd/ztd"
DEMO="$BIN/demo/Demo.ztd"
bash scripts/make-demo.sh "$ZTD" "$DEMO"
if [ -x "$BIN/src/ui/zettrix" ]; then
  exec "$BIN/src/ui/zettrix" "$DEMO"
fi
echo "== $DEMO"
"$ZTD" info "$DEMO"
echo
"$ZTD" ls "$DEMO"
echo
"$ZTD" verify "$DEMO"
