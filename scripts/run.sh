#!/usr/bin/env bash
# Runs Rundix on this machine: installs what it needs, builds rundix.exe and rundix-server,
# starts the service and the download server on loopback (the download server serves the
# stand-in installers under the catalogue's file names) and starts the program under Wine.
#   - With a display (DISPLAY set): the program opens there, in a Wine prefix kept in
#     build/demo-wine; the servers stop when the program ends.
#   - Without one: a virtual display and the scripted walk of scripts/e2e.sh through a scan, a
#     repair and the dialogs, its screenshots written to the folder it names at the end.
# Exit status: 0 when the program (or the walk) ended well; 2 with a message when something
# it needs is missing (Wine, a free port, a server that starts).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

die() {
  echo "run: $*" >&2
  exit 2
}

bash scripts/setup.sh || die "setup failed (scripts/setup.sh installs with apt-get: run as root or with sudo)"
command -v wine >/dev/null || die "Wine is not installed (scripts/setup.sh installs wine, wine32:i386 and wine64)"
# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
if [ "$RUNDIX_WINDOWS_PRESET" = win64 ]; then
  echo "run: this machine cannot run 32-bit code (no IA-32 emulation): the 64-bit build of the" \
       "same program runs under Wine's 64-bit loader"
fi
if ! wine --version >/dev/null 2>&1; then
  die "Wine does not start on this machine ($(wine --version 2>&1 | tail -n1))"
fi
bash scripts/e2e-build.sh || die "the build failed"
# shellcheck source=scripts/e2e-build.sh
source scripts/e2e-build.sh --settings

if [ -z "${DISPLAY:-}" ]; then
  art=$root/build/run-screenshots
  echo "run: no display: a virtual one, and a scripted scan and repair (screenshots in $art)"
  RUNDIX_E2E_SKIP_BUILD=1 RUNDIX_E2E_ON_WIN64=1 RUNDIX_E2E_ART=$art bash scripts/e2e.sh
  status=$?
  echo "run: screenshots of every step are in $art"
  exit $status
fi

# shellcheck source=scripts/e2e-lib.sh
source scripts/e2e-lib.sh
for port in "$service_port" "$download_port"; do
  e2e_port_free "$port" || die "port $port on 127.0.0.1 is taken (the program is built to reach its servers there)"
done
export WINEPREFIX=$root/build/demo-wine WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "run: preparing the Wine prefix $WINEPREFIX"
  bash scripts/wine-prefix.sh
  # As on Windows, a .msi opens with its parameters passed on (Wine's association drops them).
  for view in 32 64; do
    wine reg add 'HKCR\Msi.Package\shell\Open\command' /ve /d 'C:\windows\system32\msiexec.exe /i "%1" %*' \
      /f /reg:$view >/dev/null 2>&1
  done
fi
work=$(mktemp -d /tmp/rundix-run-XXXXXX)
pids=()
stop_servers() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap stop_servers EXIT
trap 'exit 130' INT TERM
e2e_start_server "$work/service.out" "$server_bin" --port "$service_port" --db "$root/build/demo-reports.db" \
  --public-base "http://127.0.0.1:$service_port" \
  || die "the service did not start on port $service_port: $(cat "$work/service.out.err")"
pids+=("$E2E_SERVER_PID")
e2e_start_server "$work/download.out" "$server_bin" --port "$download_port" --files "$build/standin-files" \
  || die "the download server did not start on port $download_port: $(cat "$work/download.out.err")"
pids+=("$E2E_SERVER_PID")
echo "run: service on 127.0.0.1:$service_port, installers on 127.0.0.1:$download_port; starting rundix.exe"
echo "run: confirm a login with: curl 'http://127.0.0.1:$service_port/rundix/api/loginconfirm?ticket=TICKET'" \
     "(the QR code holds this address)"
wine "$build/app/rundix.exe"
status=$?
echo "run: rundix.exe ended ($status); stopping the servers"
exit $status
