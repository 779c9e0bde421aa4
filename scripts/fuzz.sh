#!/usr/bin/env bash
# Builds the fuzz targets (the fuzz preset: clang-14, libFuzzer, ASan, UBSan) and runs each
# for a while over a working corpus seeded from tests/fuzz/corpus, then prints one line per
# target: executions, executions per second, coverage (edges) and features, and whether it
# found anything. A crash, leak or sanitizer report leaves its input under
# build/fuzz/artifacts/<target>/ and fails the run.
#
#   scripts/fuzz.sh [-t SECONDS] [-n RUNS] [-k] [-j JOBS] [TARGET...]
#     -t SECONDS  time per target (default 60)
#     -n RUNS     stop each target after this many executions instead (e.g. 10000000)
#     -k          keep the working corpora from earlier runs (default: start from the seeds)
#     -j JOBS     one run over JOBS worker processes sharing the corpus (libFuzzer's fork
#                 mode; -n then counts the executions of all of them)
#   A longer run, e.g. overnight:  scripts/fuzz.sh -t 3600 -k
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

seconds=60
runs=""
keep=0
jobs=0
while getopts "t:n:kj:" opt; do
  case $opt in
    t) seconds=$OPTARG ;;
    n) runs=$OPTARG ;;
    k) keep=1 ;;
    j) jobs=$OPTARG ;;
    *) sed -n '2,15p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

all_targets=(skin attributes image_descriptor image login_reply cookies inflate eventlog ini machine server_requests http_peer)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

dict_of() {
  case $1 in
    skin) echo skin ;;
    attributes) echo attributes ;;
    image_descriptor) echo image_descriptor ;;
    login_reply | machine) echo json ;;
    cookies | server_requests | http_peer) echo http ;;
    ini) echo ini ;;
    *) echo "" ;;
  esac
}

if ! command -v clang++-14 >/dev/null || [ ! -d /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux ]; then
  echo "fuzz: clang-14 and libclang-rt-14-dev are needed (scripts/setup.sh installs them)" >&2
  exit 1
fi
cmake --preset fuzz >/dev/null || exit 1
cmake --build --preset fuzz --target "${targets[@]/#/fuzz_}" || exit 1

# Allocation stacks are kept two frames deep (the allocator and its caller). Deeper ones run
# into system libraries built without frame pointers (libstdc++, JsonCpp, curl), where the
# fast unwinder reads whatever is on the stack: the machine target made some 20 new stacks an
# input, ASan's stack store grew for the whole run and each allocation searched it (1,100
# inputs a second fell to 640 within twenty minutes); two frames make a few hundred stacks in
# all. Bad accesses are still reported with their whole stack; for whole allocation stacks,
# run the target on the input alone:
#   ASAN_OPTIONS=malloc_context_size=30 build/fuzz/tests/fuzz/fuzz_<target> FILE
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1:malloc_context_size=2}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan-suppressions.txt}

work=build/fuzz/work
passed=0
failed=0
lines=()
for t in "${targets[@]}"; do
  corpus=$work/corpus/$t
  artifacts=build/fuzz/artifacts/$t
  [ "$keep" -eq 1 ] || rm -rf "$corpus"
  mkdir -p "$corpus" "$artifacts"
  cp -n tests/fuzz/corpus/"$t"/* "$corpus"/ 2>/dev/null
  args=(-print_final_stats=1 -timeout=10 -rss_limit_mb=2048 -max_len=65536 "-artifact_prefix=$artifacts/")
  if [ -n "$runs" ]; then args+=("-runs=$runs"); else args+=("-max_total_time=$seconds"); fi
  [ "$jobs" -gt 0 ] && args+=("-fork=$jobs")
  d=$(dict_of "$t")
  [ -n "$d" ] && args+=("-dict=tests/fuzz/dict/$d.dict")
  log=$work/$t.log
  echo "== fuzz_$t"
  build/fuzz/tests/fuzz/fuzz_"$t" "${args[@]}" "$corpus" >"$log" 2>&1
  rc=$?
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  if [ "$jobs" -gt 0 ]; then
    # The fork mode's own lines: "#EXECS: cov: ... time: SECONDSs job: N".
    last=$(grep -E '^#[0-9]+: cov:' "$log" | tail -1)
    execs=$(sed -E 's/^#([0-9]+):.*/\1/' <<<"$last")
    elapsed=$(grep -Eo 'time: [0-9]+s' <<<"$last" | grep -Eo '[0-9]+')
    [ -n "$execs" ] && [ "${elapsed:-0}" -gt 0 ] && rate=$((execs / elapsed))
  fi
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*')
  if [ "$rc" -eq 0 ]; then
    verdict=clean
    passed=$((passed + 1))
  else
    verdict="FOUND (exit $rc, see $log and $artifacts/)"
    failed=$((failed + 1))
    grep -m1 -E 'ERROR: |runtime error|SUMMARY' "$log" | sed 's/^/   /'
  fi
  lines+=("$(printf '%-17s %12s execs %8s/s  cov %6s  ft %7s  %s' "$t" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" "$verdict")")
done

echo
for line in "${lines[@]}"; do echo "  $line"; done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
