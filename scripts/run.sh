#!/usr/bin/env bash
# The main job, as far as it is built: both builds, then the runtime catalogue the repair
# works through, as the console companion prints it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux
cmake --preset win32 >/dev/null
cmake --build --preset win32
echo
echo "rundix-probe catalogue (Linux build):"
build/linux/tools/probe/rundix-probe catalogue
echo "The Windows programs are in build/win32 (rundix-probe.exe runs under Wine)."
