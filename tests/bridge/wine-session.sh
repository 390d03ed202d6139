#!/bin/sh
# Starts or stops the Wine session the Windows tests share:
#   wine-session.sh start|stop PREFIX
# The wineserver runs detached from our output, so CTest does not wait on it.
set -u
export WINEPREFIX="$2" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case "$1" in
start)
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1
    # No display here: windows (the simulator-window tests make some) need Wine's
    # null driver. A fresh prefix boots while the key is set, with the desktop on
    # the default driver, so the session starts again afterwards.
    timeout 120 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    wineserver -k </dev/null >/dev/null 2>&1
    wineserver -w </dev/null >/dev/null 2>&1
    wineserver -p </dev/null >/dev/null 2>&1
    timeout 120 wine wineboot </dev/null >/dev/null 2>&1
    # Ready when a trivial program runs.
    timeout 60 wine cmd /c exit 0 </dev/null >/dev/null 2>&1
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1
    ;;
*)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
exit 0
