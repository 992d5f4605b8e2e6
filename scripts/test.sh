#!/usr/bin/env bash
# Builds everything and runs every test: the GoogleTest suites through CTest,
# then each fuzz target briefly over its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

export CCACHE_BASEDIR="$PWD"
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-5G}"

# The default preset builds the GUI too; its tests run on Qt's offscreen
# platform. ZT_PRESET=nogui builds the libraries and ztd alone.
PRESET="${ZT_PRESET:-default}"
cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET"
ctest --preset "$PRESET" -j2

if [ "${ZT_SKIP_FUZZ:-0}" != 1 ]; then
  bash scripts/fuzz.sh "${ZT_FUZZ_SECONDS:-20}"
fi
