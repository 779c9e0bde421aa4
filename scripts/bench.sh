#!/usr/bin/env bash
# Builds the benchmarks without sanitizers (build/bench) and runs every one. Each benchmark
# measures a reference tool in the same run and prints its own ratio against the target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRUNDIX_SANITIZE=OFF >/dev/null
cmake --build build/bench -j2
status=0
for bench in build/bench/tests/bench_*; do
  [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  "$bench" "$@" || status=1
done
exit $status
