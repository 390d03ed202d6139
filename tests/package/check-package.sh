#!/bin/sh
# The Windows package, whole and alone:
#   check-package.sh BUILD_DIR WORK_DIR
# 1. installs the package from BUILD_DIR into WORK_DIR (as windows_package does);
# 2. every DLL that an .exe or .dll in it imports is in the folder Windows
#    looks in (the program's own; the package's for DLLs and plugins) or comes
#    with Windows;
# 3. copies the folder alone into a new Wine prefix and starts KorvelTools.exe
#    there: it writes its banner to log/today.log.
set -u
build=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../cmake/wine-env.sh"
objdump=x86_64-w64-mingw32-objdump
fail() { echo "FAIL: $*"; exit 1; }

command -v "$objdump" >/dev/null 2>&1 || fail "no $objdump here to read the imports (package binutils-mingw-w64-x86-64)"
rm -rf "$work"
mkdir -p "$work"
pkg=$work/package
cmake --install "$build" --prefix "$pkg" >/dev/null || fail "the package could not be installed"

# DLLs that come with Windows (7 and later).
system_dlls="advapi32.dll bcrypt.dll comctl32.dll comdlg32.dll crypt32.dll d3d11.dll dnsapi.dll dwmapi.dll
 dxgi.dll gdi32.dll hid.dll imm32.dll iphlpapi.dll kernel32.dll mpr.dll msvcrt.dll netapi32.dll ntdll.dll
 ole32.dll oleaut32.dll opengl32.dll secur32.dll setupapi.dll shell32.dll shlwapi.dll user32.dll userenv.dll
 uxtheme.dll version.dll winmm.dll winspool.drv ws2_32.dll wtsapi32.dll"
system_dlls=" $(echo $system_dlls) "
lower() { tr '[:upper:]' '[:lower:]'; }
missing=0 checked=0
for f in $(cd "$pkg" && find . -type f \( -iname '*.exe' -o -iname '*.dll' \)); do
    case "$f" in
        *.exe|*.EXE) dir=$(dirname "$pkg/$f") ;;
        *) dir=$pkg ;;   # a DLL or plugin is loaded into a program of the package's folder
    esac
    dump=$("$objdump" -p "$pkg/$f" 2>&1) || fail "$objdump cannot read $f: $(echo "$dump" | tail -n 1)"
    imports=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p')
    # Every Windows program and DLL imports from the system at least.
    [ -n "$imports" ] || fail "$objdump lists no imports of $f"
    checked=$((checked + 1))
    for dll in $imports; do
        name=$(echo "$dll" | lower)
        case "$system_dlls" in *" $name "*) continue ;; esac
        case "$name" in api-ms-win-*) continue ;; esac
        if ! ls "$dir" | lower | grep -qxF "$name"; then
            echo "missing: $f imports $dll"
            missing=$((missing + 1))
        fi
    done
done
[ "$checked" -ge 10 ] || fail "only $checked programs and DLLs in the package"
[ "$missing" -eq 0 ] || fail "$missing imports are not in the package"
echo "imports: $checked programs and DLLs, every import in the package or Windows"

# A prefix of its own, made here.
trap wine_stop EXIT
wine_make_prefix "$work/prefix" || fail "no Wine prefix for the package"
wine_session_start || fail "no Wine session for the package"
app="$WINEPREFIX/drive_c/KorvelTools"
cp -r "$pkg" "$app"
cd "$app" || fail "no copy in the prefix"
# A Windows GUI program's Qt messages go to the debugger: Wine's seh channel
# shows them.
console=$work/console.txt
WINEDEBUG=-all,warn+seh wine KorvelTools.exe </dev/null >"$console" 2>&1 &
program=$!
# What the program printed: its own output and its debugger messages, without
# Wine's other lines.
printed() {
    sed -n -e '/^[0-9a-f]\{4,\}:warn:seh:OutputDebugStringA "/{s/^[^"]*"\(.*\)"$/\1/;s/\\n$//;s/\\"/"/g;p;d;}' \
           -e '/^[0-9a-f]\{4,\}:[a-z]*:[a-z]*:/d' -e p "$console"
}
banner() { grep -q "Halvern Link" log/today.log 2>/dev/null; }
for i in $(seq 1 60); do
    if banner || ! kill -0 "$program" 2>/dev/null; then break; fi
    sleep 1
done
if ! banner; then
    if kill -0 "$program" 2>/dev/null; then
        state="is still running after 60 s"
    else
        wait "$program"
        state="ended with exit status $?"
    fi
    if [ -n "$(printed)" ]; then
        echo "KorvelTools.exe printed:"
        printed
        fail "KorvelTools.exe $state, with no banner in log/today.log"
    fi
    fail "KorvelTools.exe $state and printed nothing, with no banner in log/today.log"
fi
grep -q 'Start Time "' log/today.log || fail "no start time in log/today.log"
if printed | grep -q "Failed to create platform window"; then
    printed
    fail "the main window could not be made"
fi
echo "started alone in a new prefix: $(head -n 1 log/today.log | tr -d '\r')"
echo "PACKAGE OK"
