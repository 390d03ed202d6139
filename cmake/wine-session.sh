#!/bin/sh
# Wine sessions for the Windows tests.
#   wine-session.sh prepare TEMPLATE           makes the prefix that the tests copy (once per Wine version)
#   wine-session.sh test TEMPLATE WORKDIR CMD...
#       runs CMD in WORKDIR (made afresh) in a Wine session of its own, on a
#       private copy of TEMPLATE; a Qt test's log file (result.txt) is printed
#   wine-session.sh run PREFIX CMD...           runs CMD in a session of its own on PREFIX
# Each test runs in namespaces of its own (cmake/run-isolated.sh), where a
# wineserver elsewhere could not serve it: the server makes the programs'
# sockets and signals their processes. A prefix copy of its own lets the tests
# run side by side. The wineserver runs detached from our output, so that CTest
# does not wait on it.
set -u
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

start() {
    wineserver -p </dev/null >/dev/null 2>&1
    timeout 120 wine wineboot </dev/null >/dev/null 2>&1
    # Ready when a trivial program runs.
    timeout 60 wine cmd /c exit 0 </dev/null >/dev/null 2>&1
}
stop() {
    wineserver -k </dev/null >/dev/null 2>&1
    wineserver -w </dev/null >/dev/null 2>&1
}

case "${1:-}" in
prepare)
    template=$2
    stamp="$(wine --version 2>/dev/null) $(cat "$0" | cksum)"
    if [ -f "$template/.korvel-ready" ] && [ "$(cat "$template/.korvel-ready")" = "$stamp" ]; then
        exit 0
    fi
    rm -rf "$template"
    mkdir -p "$template"
    export WINEPREFIX="$template"
    wineserver -p </dev/null >/dev/null 2>&1
    timeout 180 wine wineboot --init </dev/null >/dev/null 2>&1
    # No display here: windows need Wine's null driver.
    timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    stop
    # Windows' own Tahoma, which its default dialog font resolves to: Wine's
    # metric twin, which a fresh prefix does not list.
    for f in /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf; do
        [ -f "$f" ] && cp "$f" "$template/drive_c/windows/Fonts/"
    done
    [ -f "$template/system.reg" ] || { echo "wine-session.sh: no Wine prefix could be made" >&2; exit 1; }
    echo "$stamp" >"$template/.korvel-ready"
    ;;
test)
    template=$2 work=$3
    shift 3
    prefix=$work.wine
    rm -rf "$work" "$prefix"
    mkdir -p "$work" "$prefix"
    # The system folders are shared (hard links, nothing writes to them); the
    # registry files, which the server rewrites, are the copy's own.
    cp -al "$template/drive_c" "$template/dosdevices" "$prefix/"
    cp "$template"/*.reg "$template/.update-timestamp" "$prefix/"
    export WINEPREFIX="$prefix"
    start
    cd "$work" && "$@"
    rc=$?
    stop
    [ -f "$work/result.txt" ] && cat "$work/result.txt"
    rm -rf "$prefix"
    exit $rc
    ;;
run)
    export WINEPREFIX="$2"
    shift 2
    start
    "$@"
    rc=$?
    stop
    exit $rc
    ;;
*)
    echo "usage: $0 prepare TEMPLATE | test TEMPLATE WORKDIR COMMAND... | run PREFIX COMMAND..." >&2
    exit 2
    ;;
esac
exit 0
