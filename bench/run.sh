#!/usr/bin/env bash
# Runs every benchmark and writes BENCHMARKS.md.
set -euo pipefail
cd "$(dirname "$0")/.."
PRESET="${ZT_PRESET:-default}"
cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET"
B=build/bench
[ "$PRESET" = default ] || B="build-$PRESET/bench"
{
  echo "# Benchmarks"
  echo
  echo "Measured with \`bench/run.sh\` on $(nproc) cores ($(uname -m)), $(date -u +%Y-%m-%d)."
  echo "Every figure is set against what the machine's raw zlib (or hash) needs for the same bytes in the same run."
  echo
  echo "## Document open and plain save"
  echo
  "$B/bench_document"
  for extra in "$B"/bench_*; do
    name="$(basename "$extra")"
    [ "$name" = bench_document ] && continue
    [ -x "$extra" ] || continue
    echo
    echo "## ${name#bench_}"
    echo
    "$extra"
  done
} > BENCHMARKS.md
cat BENCHMARKS.md
