#!/usr/bin/env bash
# Prints a pins file for the installers in a folder: one "NAME SIZE SHA256" line per file.
#   bash scripts/make-pins.sh DIR > pins.txt
#   cmake --preset win32 -DRUNDIX_INSTALLER_PINS=$PWD/pins.txt
set -euo pipefail
dir=${1:?usage: make-pins.sh DIR}
echo "# Installer pins of $(basename "$dir"), made by scripts/make-pins.sh"
find "$dir" -maxdepth 1 -type f -printf '%f\n' | LC_ALL=C sort | while read -r name; do
  printf '%s %s %s\n' "$name" "$(stat -c %s "$dir/$name")" "$(sha256sum "$dir/$name" | cut -d' ' -f1)"
done
