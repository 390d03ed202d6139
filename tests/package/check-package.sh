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
objdump=x86_64-w64-mingw32-objdump
fail() { echo "FAIL: $*"; exit 1; }

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
    imports=$("$objdump" -p "$pkg/$f" | sed -n 's/^[[:space:]]*DLL Name: //p') || fail "$f is no Windows program"
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

# A prefix of its own, made here; no display: Wine's null driver.
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPATH
stop() { wineserver -k </dev/null >/dev/null 2>&1; wineserver -w </dev/null >/dev/null 2>&1; }
trap stop EXIT
wineserver -p </dev/null >/dev/null 2>&1
timeout 180 wine wineboot --init </dev/null >/dev/null 2>&1
timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
stop   # the driver is chosen when a session starts
wineserver -p </dev/null >/dev/null 2>&1
app="$WINEPREFIX/drive_c/KorvelTools"
cp -r "$pkg" "$app"
cd "$app" || fail "no copy in the prefix"
wine KorvelTools.exe </dev/null >"$work/console.txt" 2>&1 &
for i in $(seq 1 60); do
    grep -q "Halvern Link" log/today.log 2>/dev/null && break
    sleep 1
done
grep -q "Halvern Link" log/today.log 2>/dev/null || { cat "$work/console.txt"; fail "no banner in log/today.log"; }
grep -q 'Start Time "' log/today.log || fail "no start time in log/today.log"
if grep -q "Failed to create platform window" "$work/console.txt"; then
    cat "$work/console.txt"
    fail "the main window could not be made"
fi
echo "started alone in a new prefix: $(head -n 1 log/today.log | tr -d '\r')"
echo "PACKAGE OK"
