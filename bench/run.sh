#!/usr/bin/env bash
# Runs every benchmark of a build folder (default: build).
set -euo pipefail
build=${1:-build}
for b in partition nfo t64 ini scan job update verify memory; do
  exe="$build/bench/bench_$b"
  if [ -x "$exe" ]; then
    echo "== bench_$b"
    "$exe"
  fi
done
# Cards written through the vfat driver need user-mode Linux.
if [ -x "$build/bench/bench_resort" ] && "$(dirname "$0")/../scripts/on-fat-card.sh" --check; then
  echo "== bench_resort"
  "$build/bench/bench_resort"
fi
if [ -x "$build/bench/bench_ui" ]; then
  echo "== bench_ui"
  QT_QPA_PLATFORM=offscreen "$build/bench/bench_ui" --games 5000 --runs 5 --cli "$build/cli/vqsd"
fi
