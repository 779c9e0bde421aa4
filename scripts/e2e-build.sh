#!/usr/bin/env bash
# Builds what the end-to-end scenario and the local demo run: rundix-server (linux preset) and,
# in build/win32-e2e (build/win64-e2e where the machine cannot run 32-bit code, see
# scripts/wine-env.sh), the stand-in installers, their pins, and rundix.exe and rundix-probe.exe
# pinned to them. The configured constants (service and download ports on loopback, the pins
# file) are the only difference from a shipped build.
#   bash scripts/e2e-build.sh              build
#   source scripts/e2e-build.sh --settings  only set build, server_bin and the two ports
# shellcheck source=scripts/wine-env.sh
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
preset=$RUNDIX_WINDOWS_PRESET
build=${RUNDIX_E2E_BUILD:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/$preset-e2e}
server_bin=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/linux/tools/server/rundix-server
# Not the shipped defaults (18480, 18481), so a demo of the default build can run beside it.
service_port=18570
download_port=18571
if [ "${1:-}" = --settings ]; then
  return 0 2>/dev/null || exit 0
fi

set -uo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR=$PWD  # objects shared with build/win32 where the sources agree
if [ ! -x "$server_bin" ]; then
  { [ -f build/linux/CMakeCache.txt ] || cmake --preset linux >/dev/null; } || exit 1
  cmake --build --preset linux --target rundix-server || exit 1
fi
common=(-DRUNDIX_TESTS=OFF -DRUNDIX_SERVICE_HOST=127.0.0.1:$service_port
        -DRUNDIX_DOWNLOAD_HOST=127.0.0.1 -DRUNDIX_DOWNLOAD_PORT=$download_port
        -DRUNDIX_KEFU_URL=http://127.0.0.1:$service_port/rundix/kefu)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake --preset "$preset" -B "$build" "${common[@]}" >/dev/null || exit 1
fi
cmake --build "$build" -j2 --target rundix_standins || exit 1
[ "$(find "$build/standin-files" -maxdepth 1 -type f | wc -l)" -eq 19 ] \
  || { echo "e2e-build: the stand-in installers were not all built (is wixl installed?)" >&2; exit 1; }
# The pins change only when a stand-in does, so the program is rebuilt only then.
bash scripts/make-pins.sh "$build/standin-files" >"$build/standin-pins.new"
cmp -s "$build/standin-pins.new" "$build/standin-pins.txt" || mv "$build/standin-pins.new" "$build/standin-pins.txt"
rm -f "$build/standin-pins.new"
cmake --preset "$preset" -B "$build" "${common[@]}" -DRUNDIX_INSTALLER_PINS="$build/standin-pins.txt" >/dev/null || exit 1
cmake --build "$build" -j2 --target rundix rundix-probe || exit 1
