#!/usr/bin/env bash
# Builds everything and runs every test: the GoogleTest suites through CTest,
# then each fuzz target briefly over its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

export CCACHE_BASEDIR="$PWD"
export CCACHE_DIR="${CCACHE_DIR:-$HOME/.cache/ccache}"
export CCACHE_MAXSIZE="${CCACHE_MAXSIZE:-5G}"

# The GUI is not part of the build yet; the libraries build without it.
PRESET="${ZT_PRESET:-nogui}"
cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET"
ctest --preset "$PRESET" -j2

if [ "${ZT_SKIP_FUZZ:-0}" != 1 ]; then
  bash scripts/fuzz.sh "${ZT_FUZZ_SECONDS:-20}"
fi
