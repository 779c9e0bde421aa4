#!/usr/bin/env bash
# CTest's fixture for the Windows tests, so `ctest --preset win32` works by hand:
#   wine-fixture.sh start ENV_FILE SERVER FILES   a display, a Wine prefix and rundix-server
#   wine-fixture.sh stop ENV_FILE                  stops and removes what start made
# What start made is written to ENV_FILE as VAR=value lines; scripts/wine-run.sh takes from it
# what its own environment does not set. Whatever the caller already provides (scripts/test.sh
# exports its own prefix, display and server) is used as it is and left alone.
set -u
source "$(dirname "$0")/wine-env.sh"
action=${1:-}
env_file=${2:-}
[ -n "$action" ] && [ -n "$env_file" ] || { echo "usage: $0 start|stop ENV_FILE [SERVER FILES]" >&2; exit 2; }

stop() {
  [ -f "$env_file" ] || return 0
  local own_server="" own_xvfb="" own_prefix="" prefix=""
  while IFS='=' read -r key value; do
    case $key in
      RUNDIX_FIXTURE_SERVER_PID) own_server=$value ;;
      RUNDIX_FIXTURE_XVFB_PID) own_xvfb=$value ;;
      RUNDIX_FIXTURE_OWN_PREFIX) own_prefix=$value ;;
      WINEPREFIX) prefix=$value ;;
    esac
  done <"$env_file"
  if [ -n "$own_server" ]; then
    kill "$own_server" 2>/dev/null
    for _ in $(seq 1 50); do kill -0 "$own_server" 2>/dev/null || break; sleep 0.1; done
  fi
  if [ -n "$own_prefix" ] && [ -n "$prefix" ]; then
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1
    rm -rf "$prefix"
  fi
  [ -n "$own_xvfb" ] && kill "$own_xvfb" 2>/dev/null
  rm -f "$env_file"
  return 0
}

start() {
  local server=${3:-} files=${4:-}
  stop  # what an interrupted run left behind
  local lines=()
  if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
    local display=:$((100 + RANDOM % 100))
    setsid Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    lines+=("RUNDIX_FIXTURE_XVFB_PID=$!" "DISPLAY=$display")
    export DISPLAY=$display
  fi
  export WINEDEBUG=${WINEDEBUG:--all}
  if [ -z "${WINEPREFIX:-}" ]; then
    # A 64-bit prefix of our own, initialised before any test so that Wine's first-start
    # messages never mix with a test's output.
    WINEPREFIX=$(mktemp -d /tmp/rundix-wine-XXXXXX)
    rmdir "$WINEPREFIX"
    export WINEPREFIX WINEARCH=win64
    lines+=("WINEPREFIX=$WINEPREFIX" "WINEARCH=win64" "RUNDIX_FIXTURE_OWN_PREFIX=1")
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    bash "$(dirname "$0")/wine-prefix.sh"
  fi
  if [ -z "${RUNDIX_TEST_HTTP:-}" ]; then
    if [ -x "$server" ]; then
      local out
      out=$(mktemp)
      setsid "$server" --port 0 --https-port 0 --test-routes --files "$files" </dev/null >"$out" 2>/dev/null &
      local pid=$!
      for _ in $(seq 1 100); do
        [ "$(wc -l <"$out")" -ge 2 ] && break
        sleep 0.1
      done
      if [ "$(wc -l <"$out")" -ge 2 ]; then
        lines+=("RUNDIX_FIXTURE_SERVER_PID=$pid" "RUNDIX_TEST_HTTP=127.0.0.1:$(sed -n 1p "$out")"
                "RUNDIX_TEST_HTTPS=127.0.0.1:$(sed -n 2p "$out")")
      else
        kill "$pid" 2>/dev/null
        echo "wine-fixture: $server did not start; the network tests will be skipped" >&2
      fi
      rm -f "$out"
    else
      echo "wine-fixture: no rundix-server at '$server' (build the linux preset's rundix-server);" \
           "the network tests will be skipped" >&2
    fi
  fi
  printf '%s\n' "${lines[@]}" >"$env_file"
  echo "wine-fixture: ready (prefix ${WINEPREFIX}, server ${RUNDIX_TEST_HTTP:-$(grep -m1 '^RUNDIX_TEST_HTTP=' "$env_file" | cut -d= -f2)})"
}

case $action in
  start) start "$@" ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop ENV_FILE [SERVER FILES]" >&2; exit 2 ;;
esac
