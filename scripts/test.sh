#!/usr/bin/env bash
# Runs every test of both builds: the Linux build (with AddressSanitizer and
# UndefinedBehaviorSanitizer unless RUNDIX_SANITIZE=OFF) and the Windows build under Wine in a
# throwaway prefix. Installs what it needs first. Extra arguments go to both ctest runs
# (for example: -L unit, or -R Settings).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup.sh || { echo "setup failed" >&2; exit 1; }

source scripts/wine-env.sh
windows=$RUNDIX_WINDOWS_PRESET
sanitize=${RUNDIX_SANITIZE:-ON}
status=0
summary=()

run_ctest() {  # name, preset, extra args...
  local name=$1 preset=$2
  shift 2
  local log
  log=$(mktemp)
  ctest --preset "$preset" "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n1)
  local total=0 failed=0
  if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=${BASH_REMATCH[1]}
    total=${BASH_REMATCH[2]}
  fi
  summary+=("$name: $((total - failed)) passed, $failed failed")
  passed_all=$((passed_all + total - failed))
  failed_all=$((failed_all + failed))
  rm -f "$log"
  [ "$rc" -eq 0 ] || status=1
}
passed_all=0
failed_all=0

echo "== Linux build"
cmake --preset linux -DRUNDIX_SANITIZE="$sanitize" >/dev/null || exit 1
cmake --build --preset linux || exit 1
echo "== Windows build ($windows)"
if [ "$windows" = win64 ]; then
  echo "This machine cannot run 32-bit code: the Windows tests run as the 64-bit build under wine64;"
  echo "the 32-bit build is still compiled."
  cmake --preset win32 >/dev/null || exit 1
  cmake --build --preset win32 || exit 1
fi
cmake --preset "$windows" >/dev/null || exit 1
cmake --build --preset "$windows" || exit 1

echo "== Linux tests"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan-suppressions.txt}
run_ctest linux linux "$@"

echo "== Windows tests under Wine"
# A display for the windowing tests, and a prefix of our own, initialised before the tests
# so that Wine's first-start messages never mix with their output.
xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display
fi
# A 64-bit prefix: the 32-bit program sees SysWOW64, SysNative and two registry views, as on
# the 64-bit Windows most users have.
export WINEPREFIX WINEARCH=win64
WINEPREFIX=$(mktemp -d /tmp/rundix-wine-XXXXXX)
rmdir "$WINEPREFIX"  # wineboot makes it afresh
export WINEDEBUG=-all
bash scripts/wine-prefix.sh
# The Windows tests reach a real rundix-server (the Linux build) on loopback, serving what
# the Windows build laid out for them (tests/CMakeLists.txt).
server_out=$(mktemp)
build/linux/tools/server/rundix-server --port 0 --https-port 0 --test-routes \
  --files "build/$windows/tests/served-files" >"$server_out" 2>/dev/null &
server_pid=$!
for _ in $(seq 1 100); do
  [ "$(wc -l <"$server_out")" -ge 2 ] && break
  sleep 0.1
done
export RUNDIX_TEST_HTTP="127.0.0.1:$(sed -n 1p "$server_out")"
export RUNDIX_TEST_HTTPS="127.0.0.1:$(sed -n 2p "$server_out")"
run_ctest wine "$windows" "$@"
kill "$server_pid" 2>/dev/null
wait "$server_pid" 2>/dev/null
rm -f "$server_out"
wineserver -k >/dev/null 2>&1
rm -rf "$WINEPREFIX"
[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null

echo "== End to end: rundix.exe under Wine, driven like a user (scripts/e2e.sh)"
bash scripts/e2e.sh
case $? in
  0) summary+=("e2e: passed (screenshots in build/e2e-artifacts)") ;;
  77) summary+=("e2e: SKIPPED, the shipped 32-bit program cannot run on this machine (see above)") ;;
  *) summary+=("e2e: FAILED (screenshots in build/e2e-artifacts)"); status=1 ;;
esac

echo
for line in "${summary[@]}"; do echo "  $line"; done
echo "all: $passed_all passed, $failed_all failed"
exit $status
