#!/usr/bin/env bash
# Initialises the Wine prefix in WINEPREFIX for the tests and the program: Wine's first start
# done before anything runs (so its messages never mix with a test's output), windows left
# unmanaged (no window manager runs on a test display: showing and destroying them waits for
# nobody), and the skin's Chinese face mapped to an installed one.
set -u
source "$(dirname "$0")/wine-env.sh"
export WINEDEBUG=${WINEDEBUG:--all}
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
bash "$(dirname "$0")/wine-fonts.sh"
