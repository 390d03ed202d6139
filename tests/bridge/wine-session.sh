#!/bin/sh
# The Wine session of the Windows tests:
#   wine-session.sh prepare PREFIX        creates and boots the prefix
#   wine-session.sh run PREFIX CMD...     runs CMD in a session of its own, then ends the session
# Each test has its own session, as it runs in namespaces of its own
# (cmake/run-isolated.sh) and a wineserver elsewhere could not serve it: the
# server makes the programs' sockets and signals their processes. The tests
# that share the prefix run one at a time (a CTest resource lock).
# The wineserver runs detached from our output, so CTest does not wait on it;
# it is ended gracefully, which writes the registry back to the prefix.
set -u
export WINEPREFIX="$2" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stop() {
    wineserver -k </dev/null >/dev/null 2>&1
    wineserver -w </dev/null >/dev/null 2>&1
}
case "$1" in
prepare)
    mkdir -p "$WINEPREFIX"
    wineserver -p </dev/null >/dev/null 2>&1
    # No display here: windows (the simulator-window tests make some) need Wine's
    # null driver. A fresh prefix boots while the key is set.
    timeout 120 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    stop
    ;;
run)
    shift 2
    wineserver -p </dev/null >/dev/null 2>&1
    timeout 120 wine wineboot </dev/null >/dev/null 2>&1
    # Ready when a trivial program runs.
    timeout 60 wine cmd /c exit 0 </dev/null >/dev/null 2>&1
    "$@"
    rc=$?
    stop
    exit $rc
    ;;
*)
    echo "usage: $0 prepare PREFIX | run PREFIX COMMAND..." >&2
    exit 2
    ;;
esac
exit 0
