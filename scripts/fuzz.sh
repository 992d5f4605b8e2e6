#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for the given
# number of seconds (default 20) over a copy of its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH="${1:-20}"
export CCACHE_BASEDIR="$PWD"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name="$(basename "$target")"
  seeds="fuzz/corpus/${name#fuzz_}"
  mkdir -p "$work/$name"
  [ -d "$seeds" ] && cp -r "$seeds/." "$work/$name/"
  echo "fuzz: $name for ${SECONDS_EACH}s"
  mkdir -p build-fuzz/crashes
  if ! "$target" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -max_len=65536 \
       -artifact_prefix="build-fuzz/crashes/$name-" -print_final_stats=0 "$work/$name" >"$work/$name.log" 2>&1; then
    echo "fuzz: $name FAILED (input kept in build-fuzz/crashes/)"; tail -40 "$work/$name.log"; status=1
  fi
done
exit $status
