#!/usr/bin/env bash
# Builds the benchmarks without sanitizers (build/bench) and runs every one. Each benchmark
# measures a reference tool in the same run and prints its own ratio against the target.
# Then the whole program under Wine (scripts/e2e.sh): cold start to the main window's first
# paint, the scan on the Wine machine and the repair with all the stand-in installers; the
# Linux build's start-up to first paint (bench_program_start) is the floor beneath the first.
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

echo "== rundix.exe under Wine (scripts/e2e.sh, timings of one run)"
timings=$(mktemp)
set +e
RUNDIX_E2E_TIMINGS=$timings RUNDIX_E2E_ART=$root/build/bench-e2e bash scripts/e2e.sh >"$root/build/bench-e2e.log" 2>&1
e2e=$?
set -e
if [ "$e2e" -eq 77 ]; then
  echo "not measured: $(grep -m1 SKIPPED "$root/build/bench-e2e.log")"
else
  [ "$e2e" -eq 0 ] || { echo "the scenario failed (build/bench-e2e.log); its timings may be partial"; status=1; }
  while read -r name seconds; do
    case $name in
      wine_start_to_first_paint) echo "cold start to first paint of the main window: $seconds s" ;;
      wine_scan) echo "scan on the Wine machine (click to scan done): $seconds s" ;;
      wine_repair) echo "repair with the stand-in installers (click to completion page): $seconds s" ;;
      *) echo "$name: $seconds s" ;;
    esac
  done <"$timings"
fi
rm -f "$timings"
exit $status
