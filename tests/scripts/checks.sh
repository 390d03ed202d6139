# Sourced by the shell tests: check DESCRIPTION COMMAND... counts a failure
# where COMMAND fails; finish ends the test with the count.
failures=0
check() {
    local what=$1
    shift
    if "$@"; then
        echo "ok: $what"
    else
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}
finish() {
    [ "$failures" = 0 ] && { echo "all checks passed"; exit 0; }
    echo "$failures checks failed"
    exit 1
}
