#!/bin/sh
# Runs one test where it sees only its own processes and its own loopback
# network: a private PID and network namespace. The program ends processes by
# name and the tests bind fixed ports, so a test run beside others would end
# their programs (another run's, the developer's own bridge) and meet them on
# its ports. Needs unshare (util-linux) and ip (iproute2), as root or where
# users may make user namespaces; elsewhere the test runs as before, beside
# the machine's processes.
#   sh run-isolated.sh COMMAND [ARGS...]
#   sh run-isolated.sh --check        exit status 0 where namespaces can be made
set -u
if [ "${1:-}" = "--inside" ]; then
    shift
    ip link set lo up || exit 1
    # Not exec: this shell stays the namespace's first process and reaps the
    # orphans (Wine's services); everything left ends with it.
    "$@"
    exit $?
fi
if command -v unshare >/dev/null 2>&1 && command -v ip >/dev/null 2>&1; then
    for user in "" "-r"; do
        # shellcheck disable=SC2086
        if unshare $user -n -p -f --mount-proc true >/dev/null 2>&1; then
            [ "${1:-}" = "--check" ] && exit 0
            # shellcheck disable=SC2086
            exec unshare $user -n -p -f --mount-proc --kill-child sh "$0" --inside "$@"
        fi
    done
fi
[ "${1:-}" = "--check" ] && exit 1
echo "run-isolated.sh: no private namespaces here: the test sees the machine's processes and ports" >&2
exec "$@"
