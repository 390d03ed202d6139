# Sourced by wine-session.sh and the package check: the environment every
# Windows program runs in here, and the making and starting of Wine prefixes.
#   WINEDEBUG=-all       Wine's own trace lines stay out of the tests' output
#   mscoree,mshtml=      a new prefix asks to install neither .NET nor Gecko
#   winedbg.exe=d        a program that crashes ends at once, with a non-zero
#                        exit status (the exception code's low byte); Wine's
#                        debugger would wait for ever on a crash dialog that the
#                        null display never shows. (ShowCrashDialog=0 is no
#                        way out: the crashed program then reports exit 0.)
# WINEPATH is cleared: a Windows program finds only the DLLs beside it.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
unset WINEPATH

# The Wine server runs detached from our output: CTest waits on every process
# that holds its output pipe.
wine_server_start() { wineserver -p </dev/null >/dev/null 2>&1; }
wine_stop() {
    wineserver -k </dev/null >/dev/null 2>&1
    wineserver -w </dev/null >/dev/null 2>&1
}

# wine_make_prefix DIR: a new prefix in DIR (removed first), on Wine's null
# display driver, with Windows' Tahoma (Wine's metric twin, which a new prefix
# does not list), which Windows' default dialog font resolves to. Becomes the
# WINEPREFIX; its server is stopped again.
wine_make_prefix() {
    rm -rf "$1"
    mkdir -p "$1" || return 1
    export WINEPREFIX="$1"
    wine_server_start
    timeout 180 wine wineboot --init </dev/null >/dev/null 2>&1
    timeout 60 wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    # The display driver is chosen when a session starts.
    wine_stop
    for f in /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf; do
        [ -f "$f" ] && cp "$f" "$1/drive_c/windows/Fonts/"
    done
    if [ ! -f "$1/system.reg" ] || ! grep -q '"Graphics"="null"' "$1/user.reg"; then
        echo "${0##*/}: no Wine prefix could be made in $1 (wine wineboot --init failed or timed out)" >&2
        return 1
    fi
}

# wine_session_start: a session on $WINEPREFIX, ready when a trivial program runs.
wine_session_start() {
    wine_server_start
    if ! timeout 120 wine wineboot </dev/null >/dev/null 2>&1 || ! timeout 60 wine cmd /c exit 0 </dev/null >/dev/null 2>&1; then
        echo "${0##*/}: the Wine session on $WINEPREFIX did not start (wine wineboot or a first program failed or timed out)" >&2
        return 1
    fi
}
