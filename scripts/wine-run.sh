#!/usr/bin/env bash
# Runs a Windows test executable under Wine: CTest's emulator for the win32 build.
# Uses the prefix in WINEPREFIX (scripts/test.sh makes a throwaway one per run); without one
# it makes its own and removes it afterwards.
set -u
source "$(dirname "$0")/wine-env.sh"
# The CTest fixture (scripts/wine-fixture.sh) names a prefix, a display and a test server in
# RUNDIX_WINE_FIXTURE; what this environment sets already wins.
if [ -n "${RUNDIX_WINE_FIXTURE:-}" ] && [ -f "$RUNDIX_WINE_FIXTURE" ]; then
  while IFS='=' read -r key value; do
    case $key in
      WINEPREFIX|WINEARCH|DISPLAY|RUNDIX_TEST_HTTP|RUNDIX_TEST_HTTPS)
        [ -z "${!key:-}" ] && export "$key=$value" ;;
    esac
  done <"$RUNDIX_WINE_FIXTURE"
fi
export WINEDEBUG=${WINEDEBUG:--all}
own_prefix=""
if [ -z "${WINEPREFIX:-}" ]; then
  own_prefix=$(mktemp -d /tmp/rundix-wine-XXXXXX)
  rmdir "$own_prefix"
  export WINEPREFIX=$own_prefix WINEARCH=${WINEARCH:-win64}
  bash "$(dirname "$0")/wine-prefix.sh"
fi
wine "$@"
status=$?
if [ -n "$own_prefix" ]; then
  wineserver -k >/dev/null 2>&1
  rm -rf "$own_prefix"
fi
exit $status
