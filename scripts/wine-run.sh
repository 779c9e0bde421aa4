#!/usr/bin/env bash
# Runs a Windows test executable under Wine: CTest's emulator for the win32 build.
# Uses the prefix in WINEPREFIX (scripts/test.sh makes a throwaway one per run); without one
# it makes its own and removes it afterwards.
set -u
export WINEDEBUG=${WINEDEBUG:--all}
own_prefix=""
if [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=$(mktemp -d /tmp/rundix-wine-XXXXXX)
  rmdir "$own_prefix"
  export WINEPREFIX=$own_prefix WINEARCH=${WINEARCH:-win64}
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
  bash "$(dirname "$0")/wine-fonts.sh"
fi
wine "$@"
status=$?
if [ -n "$own_prefix" ]; then
  wineserver -k >/dev/null 2>&1
  rm -rf "$own_prefix"
fi
exit $status
