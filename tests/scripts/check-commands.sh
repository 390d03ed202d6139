#!/bin/bash
# scripts/test and scripts/package, run from a copy whose other scripts, and
# ctest, are stand-ins that record what they were asked to do:
#   check-commands.sh SOURCE_DIR WORK_DIR
# - every mix of scripts/test's options runs the legs it names, or is refused
#   with the usage line and a non-zero exit, before anything runs;
# - the Windows libraries' build in the background ends with scripts/test,
#   when the Linux leg fails and on Ctrl-C;
# - a failed build shows its errors through scripts/package.
set -u
source_dir=$1 work=$2
. "$(dirname "$0")/checks.sh"

tree=$work/tree
rm -rf "$work"
mkdir -p "$tree/scripts" "$work/bin"
cp "$source_dir/scripts/test" "$source_dir/scripts/package" "$tree/scripts/"
export RECORD=$work/record.txt TREE=$tree
record=$RECORD
stand_in() {   # stand_in PATH BODY: a script that records its name and arguments, then runs BODY
    printf '#!/bin/bash\necho "$(basename "$0") $*" >>"$RECORD"\n%s\n' "$2" >"$1"
    chmod +x "$1"
}
stand_in "$tree/scripts/setup-deps" ''
# A failing build waits until the libraries' build runs beside it.
stand_in "$tree/scripts/build" \
    'mkdir -p "$KORVEL_BUILD_DIR"
     [ -z "${FAIL_BUILD:-}" ] || {
         for i in $(seq 50); do [ -f "$TREE/libs-child.pid" ] && break; sleep 0.1; done
         echo "fake.cpp:1: error: broken"; exit 1; }'
stand_in "$tree/scripts/build-windows" \
    'mkdir -p "$KORVEL_WINDOWS_BUILD_DIR"; echo "[1/2] Building CXX object fake.obj"
     [ -z "${FAIL_BUILD:-}" ] || { echo "FAILED: fake.obj"; echo "fake.cpp:7:3: error: no such thing"; exit 1; }'
# The libraries' build: a process with a child, as make under the real one.
stand_in "$tree/scripts/setup-windows-libs" \
    'echo $$ >"$TREE/libs.pid"; sleep "${LIBS_SECONDS:-0}" & echo "$!" >"$TREE/libs-child.pid"; wait; echo /fake/prefix'
stand_in "$work/bin/ctest" 'echo "ctest in ${PWD#"$TREE"/}" >>"$RECORD"; sleep "${CTEST_SECONDS:-0}"; exit "${CTEST_STATUS:-0}"'
stand_in "$work/bin/cmake" 'exit 0'
mkdir -p "$tree/out/windows/KorvelTools-1.0-win64"
touch "$tree/out/windows/KorvelTools-1.0-win64.zip"
export PATH=$work/bin:$PATH

# The stand-ins that a faulty scripts/test leaves running end with this test.
leftovers() { cat "$tree/libs.pid" "$tree/libs-child.pid" 2>/dev/null | xargs -r kill 2>/dev/null; }
trap leftovers EXIT

# run_test [OPTION...]: scripts/test's exit status in $rc, its output in out.txt and err.txt
run_test() {
    : >"$record"
    leftovers
    rm -f "$tree/libs.pid" "$tree/libs-child.pid"
    "$tree/scripts/test" "$@" >"$work/out.txt" 2>"$work/err.txt"
    rc=$?
}
ran() { grep -c . "$record"; }
has() { grep -qxF "$1" "$record"; }
lacks() { ! grep -qE "$1" "$record"; }

for mix in "--sanitize --windows" "--windows --sanitize" "--linux --sanitize --windows" "--windows --bogus" "linux"; do
    # shellcheck disable=SC2086
    run_test $mix
    check "'$mix' is refused with exit 2" [ "$rc" = 2 ]
    check "'$mix' prints the usage line" grep -q "^usage: scripts/test" "$work/err.txt"
    check "'$mix' runs nothing" [ "$(ran)" = 0 ]
done

both() {
    check "$1: the Linux leg's tests run" has "ctest in build"
    check "$1: the Windows libraries are built" has "setup-windows-libs "
    check "$1: the Windows leg's tests run" has "ctest in build-windows"
}
for mix in "" "--linux --windows" "--windows --linux"; do
    # shellcheck disable=SC2086
    run_test $mix
    check "'$mix' passes" [ "$rc" = 0 ]
    both "'$mix'"
done
run_test --linux
check "--linux passes" [ "$rc" = 0 ]
check "--linux runs the Linux tests" has "ctest in build"
check "--linux runs nothing of the Windows leg" lacks 'setup-windows-libs|build-windows|ctest in build-windows'
run_test --windows
check "--windows passes" [ "$rc" = 0 ]
check "--windows runs the Windows tests" has "ctest in build-windows"
check "--windows runs nothing of the Linux leg" lacks '^build |^ctest in build$'
for mix in "--sanitize" "--linux --sanitize"; do
    # shellcheck disable=SC2086
    run_test $mix
    check "'$mix' passes" [ "$rc" = 0 ]
    check "'$mix' builds with the sanitizers" grep -q "^build .*-DKORVEL_SANITIZE=ON" "$record"
    check "'$mix' runs the sanitized tests" has "ctest in build-sanitize"
    check "'$mix' runs nothing of the Windows leg" lacks 'setup-windows-libs|build-windows|ctest in build-windows'
done
CTEST_STATUS=8 run_test
check "a failing Linux test fails the run" [ "$rc" = 1 ]
both "a failing Linux test"

# gone PIDFILE...: each process named in a file has ended (within 5 s)
gone() {
    local f pid i
    for f in "$@"; do
        pid=$(cat "$f" 2>/dev/null) || return 1
        for i in $(seq 50); do
            kill -0 "$pid" 2>/dev/null || continue 2
            sleep 0.1
        done
        return 1
    done
}
FAIL_BUILD=1 LIBS_SECONDS=120 run_test
check "a failed Linux build fails the run" [ "$rc" != 0 ]
check "the failed Linux build's error is shown" grep -q "fake.cpp:1: error: broken" "$work/out.txt"
check "a failed Linux build ends the libraries' build and its children" gone "$tree/libs.pid" "$tree/libs-child.pid"

# Ctrl-C reaches every process of the terminal's foreground group. (A job of
# its own: a shell without job control starts its background jobs deaf to it.)
: >"$record"
leftovers
rm -f "$tree/libs.pid" "$tree/libs-child.pid"
set -m
CTEST_SECONDS=120 LIBS_SECONDS=120 "$tree/scripts/test" >"$work/out.txt" 2>&1 &
run=$!
set +m
for i in $(seq 100); do
    has "ctest in build" && [ -f "$tree/libs-child.pid" ] && break
    sleep 0.1
done
check "the Linux leg and the libraries' build run side by side" has "ctest in build"
kill -INT -- "-$run"
for i in $(seq 50); do kill -0 "$run" 2>/dev/null || break; sleep 0.1; done
check "Ctrl-C ends scripts/test" sh -c "! kill -0 $run 2>/dev/null"
wait "$run"
check "Ctrl-C gives a non-zero exit" [ "$?" != 0 ]
check "Ctrl-C ends the libraries' build and its children" gone "$tree/libs.pid" "$tree/libs-child.pid"
kill -KILL -- "-$run" 2>/dev/null

# scripts/package: quiet on success, the compiler's errors on failure.
"$tree/scripts/package" >"$work/out.txt" 2>"$work/err.txt"
check "scripts/package passes" [ "$?" = 0 ]
check "a package made prints no build lines" sh -c "! grep -q 'Building' '$work/out.txt' '$work/err.txt'"
check "a package made names its folder and zip" grep -q "KorvelTools-1.0-win64.zip" "$work/out.txt"
FAIL_BUILD=1 "$tree/scripts/package" >"$work/out.txt" 2>"$work/err.txt"
check "a failed package build fails scripts/package" [ "$?" != 0 ]
check "a failed package build shows the compiler's error" grep -q "fake.cpp:7:3: error: no such thing" "$work/err.txt"
check "and which file failed" grep -q "FAILED: fake.obj" "$work/err.txt"

finish
