#!/bin/sh
# Wine sessions for the Windows tests.
#   wine-session.sh prepare TEMPLATE           makes the prefix that the tests copy (once per Wine version)
#   wine-session.sh test TEMPLATE WORKDIR [--done LINE] CMD...
#       runs CMD in WORKDIR (made afresh) in a Wine session of its own, on a
#       private copy of TEMPLATE; a Qt test's log file (result.txt) is printed.
#       With --done, exit status 0 passes only where CMD's output or log holds
#       LINE, the test's last: a Windows program ended by TerminateProcess
#       (by itself, or by the program under test) reports the code it was given.
# Each test runs in namespaces of its own (cmake/run-isolated.sh), where a
# wineserver elsewhere could not serve it: the server makes the programs'
# sockets and signals their processes. A prefix copy of its own lets the tests
# run side by side.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

case "${1:-}" in
prepare)
    template=$2
    stamp="$(wine --version 2>/dev/null) $(cat "$0" "$here/wine-env.sh" | cksum)"
    if [ -f "$template/.korvel-ready" ] && [ "$(cat "$template/.korvel-ready")" = "$stamp" ]; then
        exit 0
    fi
    wine_make_prefix "$template" || exit 1
    echo "$stamp" >"$template/.korvel-ready"
    ;;
test)
    template=$2 work=$3
    shift 3
    done_line=
    if [ "${1:-}" = "--done" ]; then
        done_line=$2
        shift 2
    fi
    prefix=$work.wine
    rm -rf "$work" "$prefix"
    mkdir -p "$work" "$prefix"
    # The system folders are shared (hard links, nothing writes to them); the
    # registry files, which the server rewrites, are the copy's own.
    cp -al "$template/drive_c" "$template/dosdevices" "$prefix/"
    cp "$template"/*.reg "$template/.update-timestamp" "$prefix/"
    export WINEPREFIX="$prefix"
    if ! wine_session_start; then
        wine_stop
        exit 1
    fi
    # The output is shown as it comes, and kept to look for the last line. (In
    # a file, not a pipe: a process the test starts could hold a pipe open.)
    out=$work.out
    (cd "$work" && exec "$@") </dev/null >"$out" 2>&1 &
    program=$!
    tail -n +1 -s 0.2 -f --pid="$program" "$out" &
    shown=$!
    wait "$program"
    rc=$?
    wait "$shown"
    wine_stop
    [ -f "$work/result.txt" ] && cat "$work/result.txt"
    if [ "$rc" = 0 ] && [ -n "$done_line" ] && ! cat "$out" "$work/result.txt" 2>/dev/null | grep -qF -- "$done_line"; then
        echo "wine-session.sh: exit status 0 without the test's last line \"$done_line\": the test was ended before its end"
        rc=1
    fi
    rm -rf "$prefix" "$out"
    exit $rc
    ;;
*)
    echo "usage: $0 prepare TEMPLATE | test TEMPLATE WORKDIR [--done LINE] COMMAND..." >&2
    exit 2
    ;;
esac
exit 0
