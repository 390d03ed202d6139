#!/bin/sh
# The package check fails, and says why, where its tools or the package fail:
#   check-package-faults.sh BUILD_DIR WORK_DIR
# - objdump fails, or lists nothing: the import check fails;
# - the program crashes: the start fails at once, with the exit status and
#   what the program printed;
# - the package lacks its Windows platform plugin: the start fails and says
#   what Qt printed.
set -u
build=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../scripts/checks.sh"
rm -rf "$work"
mkdir -p "$work"
real_cmake=$(command -v cmake)

# package_check CASE: the package check with the tools in $work/CASE first on PATH
package_check() {
    PATH="$work/$1:$PATH" sh "$here/check-package.sh" "$build" "$work/$1.run" >"$work/$1.txt" 2>&1
    rc=$?
    sed "s/^/  $1: /" "$work/$1.txt"
}
said() { grep -q -- "$2" "$work/$1.txt"; }
tool() {   # tool CASE NAME BODY
    mkdir -p "$work/$1"
    printf '#!/bin/sh\n%s\n' "$3" >"$work/$1/$2"
    chmod +x "$work/$1/$2"
}

tool objdump-fails x86_64-w64-mingw32-objdump 'echo "objdump stand-in: cannot read $2" >&2; exit 1'
package_check objdump-fails
check "a failing objdump fails the check" [ "$rc" != 0 ]
check "a failing objdump is named, with its message" said objdump-fails "FAIL: x86_64-w64-mingw32-objdump cannot read .*objdump stand-in"

tool objdump-silent x86_64-w64-mingw32-objdump 'exit 0'
package_check objdump-silent
check "an objdump that lists nothing fails the check" [ "$rc" != 0 ]
check "an objdump that lists nothing is named" said objdump-silent "FAIL: x86_64-w64-mingw32-objdump lists no imports"

# The package's program replaced by one that crashes at once: the check ends
# with it and shows its output.
crasher=$(ls "$build"/bin/korvel_crash.exe)
tool crash cmake "\"$real_cmake\" \"\$@\" || exit
[ \"\$1\" = --install ] && cp \"$crasher\" \"\$4/KorvelTools.exe\"
exit 0"
start=$(date +%s)
package_check crash
elapsed=$(($(date +%s) - start))
check "a program that crashes fails the check" [ "$rc" != 0 ]
check "a program that crashed is told by its exit status" said crash "FAIL: KorvelTools.exe ended with exit status [1-9]"
check "what it printed is shown" said crash "^crashing now"
check "the check ends with the program, not after its time ($elapsed s)" [ "$elapsed" -lt 50 ]

# The package installed without platforms/qwindows.dll, which the import
# check cannot see (Qt loads it by name): the program stops at Qt's message
# box, which the null display never shows, and what Qt said is shown.
tool no-platform cmake "\"$real_cmake\" \"\$@\" || exit
[ \"\$1\" = --install ] && rm -f \"\$4/platforms/qwindows.dll\"
exit 0"
package_check no-platform
check "a package without its platform plugin fails the check" [ "$rc" != 0 ]
check "Qt's message is shown" said no-platform "qt.qpa.plugin: Could not find the Qt platform plugin"

finish
