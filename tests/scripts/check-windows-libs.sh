#!/bin/bash
# scripts/setup-windows-libs up to its first build step, from a copy of the
# checkout with no ../shared/ beside it, and with an apt-get stand-in that
# serves small Debian-like source packages or fails as apt-get does without
# network:
#   check-windows-libs.sh SOURCE_DIR WORK_DIR
# - a missing tool is named before anything is fetched;
# - where no source can be had, one line names every place looked in;
# - a damaged tarball is named and removed, and a whole one fetched again;
# - Qt SerialPort comes from Debian first;
# - a change to the toolchain file or QCustomPlot's CMake file gives a new key.
set -u
source_dir=$1 work=$2
. "$(dirname "$0")/checks.sh"

rm -rf "$work"
tree=$work/checkout/korvel
mkdir -p "$tree/scripts" "$tree/cmake/windows/qcustomplot" "$work/bin" "$work/archive"
cp "$source_dir/scripts/setup-windows-libs" "$tree/scripts/"
cp "$source_dir/cmake/mingw-w64.cmake" "$tree/cmake/"
cp "$source_dir/cmake/windows/qcustomplot/CMakeLists.txt" "$tree/cmake/windows/qcustomplot/"
script=$tree/scripts/setup-windows-libs
shared=$work/checkout/shared/deps/qtserialport-everywhere-src-5.15.8.tar.xz
export KORVEL_WINDOWS_CACHE=$work/cache
sources=$KORVEL_WINDOWS_CACHE/sources

# The archive: each package's .dsc and upstream tarball, as Debian names them.
# qtbase's configure stops the build at once, so the run ends at its first step.
source_package() {   # source_package NAME DEBIAN_VERSION TARBALL DIR FILE CONTENT
    local name=$1 version=$2 tarball=$3 tmp=$work/src
    rm -rf "$tmp"
    mkdir -p "$tmp/$4"
    printf '%s\n' "$6" >"$tmp/$4/$5"
    chmod +x "$tmp/$4/$5"
    tar -caf "$work/archive/$tarball" -C "$tmp" "$4"
    {
        echo "Format: 3.0 (quilt)"
        echo "Source: $name"
        echo "Version: $version"
        echo "Checksums-Sha256:"
        # Listed first here: the upstream signature, which is no tarball.
        echo " 0000000000000000000000000000000000000000000000000000000000000000 833 $tarball.asc"
        echo " $(sha256sum <"$work/archive/$tarball" | cut -d' ' -f1) $(stat -c %s "$work/archive/$tarball") $tarball"
        echo "Files:"
        echo " 00000000000000000000000000000000 0 ${name}_$version.debian.tar.xz"
    } >"$work/archive/${name}_$version.dsc"
}
source_package qtbase-opensource-src 5.15.8+dfsg-1 qtbase-opensource-src_5.15.8+dfsg.orig.tar.xz \
    qtbase-everywhere-src-5.15.8 configure $'#!/bin/sh\necho "qtbase configure of the test archive"\nexit 1'
source_package qcustomplot 2.1.0+dfsg1-1 qcustomplot_2.1.0+dfsg1.orig.tar.gz qcustomplot qcustomplot.cpp '//'
source_package hidapi 0.13.1-1 hidapi_0.13.1.orig.tar.gz hidapi-hidapi-0.13.1 CMakeLists.txt '#'
source_package qtserialport-opensource-src 5.15.8-1 qtserialport-opensource-src_5.15.8.orig.tar.xz \
    qtserialport-everywhere-src-5.15.8 qtserialport.pro '#'

# apt-get: APT_OFFLINE fails as without network; else "source" copies the
# packages asked for, but not those in APT_MISSING, and damages the upstream
# tarballs of those in APT_DAMAGED.
cat >"$work/bin/apt-get" <<EOF
#!/bin/bash
archive=$work/archive
EOF
cat >>"$work/bin/apt-get" <<'EOF'
echo "apt-get $*" >>"$KORVEL_WINDOWS_CACHE/apt-calls.txt"
args=()
while [ $# -gt 0 ]; do
    case "$1" in -o) shift 2 ;; -*) shift ;; *) args+=("$1"); shift ;; esac
done
if [ -n "${APT_OFFLINE:-}" ]; then
    echo "W: Failed to fetch archive/dists/InRelease  Temporary failure resolving 'archive'"
    [ "${args[0]}" = update ] && exit 0
    echo "E: You must put some 'deb-src' URIs in your sources.list"
    exit 100
fi
[ "${args[0]}" = update ] && exit 0
status=0
for pkg in "${args[@]:1}"; do
    if [[ " ${APT_MISSING:-} " == *" $pkg "* ]]; then
        echo "E: Failed to fetch archive/$pkg.orig.tar.xz  404  Not Found"
        status=100
        continue
    fi
    cp "$archive/${pkg}_"* .
    if [[ " ${APT_DAMAGED:-} " == *" $pkg "* ]]; then
        for f in "${pkg}_"*.orig.tar.*; do truncate -s 100 "$f"; done
    fi
done
exit $status
EOF
chmod +x "$work/bin/apt-get"
export PATH=$work/bin:$PATH

# libs [VAR=VALUE...]: runs the script with those settings; status in $rc,
# error lines in err.txt
libs() {
    env "$@" "$script" >"$work/out.txt" 2>"$work/err.txt"
    rc=$?
}
lines() { grep -c . "$work/err.txt"; }
says() { grep -qF -- "$1" "$work/err.txt"; }

# A missing tool: named at once, before the cache is touched.
mkdir -p "$work/no-ninja"
ln -sf /bin/* /usr/bin/* "$work/no-ninja/" 2>/dev/null
rm -f "$work/no-ninja/ninja"
libs PATH="$work/bin:$work/no-ninja"
check "without ninja: fails" [ "$rc" != 0 ]
check "without ninja: names it" says "missing ninja"
check "without ninja: nothing fetched, no cache made" [ ! -e "$KORVEL_WINDOWS_CACHE" ]

# No network, no ../shared/, no KORVEL_QTSERIALPORT_SOURCE.
libs APT_OFFLINE=1 KORVEL_QTSERIALPORT_SOURCE=
check "offline: fails" [ "$rc" = 1 ]
check "offline: one line" [ "$(lines)" = 1 ]
check "offline: names the Debian packages" says "qtbase-opensource-src qcustomplot hidapi cannot be fetched"
check "offline: names where to put them" says "put their .dsc and .orig tarballs in $sources/"
check "offline: names Debian's Qt SerialPort" says "Debian's qtserialport-opensource-src cannot be fetched"
check "offline: says KORVEL_QTSERIALPORT_SOURCE is not set" says "KORVEL_QTSERIALPORT_SOURCE is not set"
check "offline: names the ../shared/deps/ tarball" says "there is no $shared"
libs APT_OFFLINE=1 KORVEL_QTSERIALPORT_SOURCE="$work/elsewhere/qtserialport.tar.xz"
check "offline, a named tarball that is missing: one line" [ "$(lines)" = 1 ]
check "offline, a named tarball that is missing: names its path" \
    says "KORVEL_QTSERIALPORT_SOURCE names $work/elsewhere/qtserialport.tar.xz, which does not exist"
echo "not Qt SerialPort" >"$work/wrong.tar.xz"
libs APT_MISSING=qtserialport-opensource-src KORVEL_QTSERIALPORT_SOURCE="$work/wrong.tar.xz"
check "a named tarball with another checksum: fails" [ "$rc" = 1 ]
check "a named tarball with another checksum: named" says "$work/wrong.tar.xz is not qtserialport-everywhere-src-5.15.8.tar.xz"
check "Debian's packages fetched meanwhile are kept" [ -f "$sources/hidapi_0.13.1.orig.tar.gz" ]

# A damaged tarball in the cache: named, removed, and fetched again.
truncate -s 100 "$sources/hidapi_0.13.1.orig.tar.gz"
libs APT_OFFLINE=1
check "a damaged tarball: named" says "$sources/hidapi_0.13.1.orig.tar.gz is damaged"
check "a damaged tarball: removed" [ ! -e "$sources/hidapi_0.13.1.orig.tar.gz" ]
check "a damaged tarball: the one line names its package only" says "Debian's source packages hidapi cannot be fetched"
# A damaged download: named and removed as well.
libs APT_DAMAGED=hidapi
check "a damaged download: fails" [ "$rc" = 1 ]
check "a damaged download: named" says "$sources/hidapi_0.13.1.orig.tar.gz is damaged"
check "a damaged download: removed" [ ! -e "$sources/hidapi_0.13.1.orig.tar.gz" ]

# Every source whole, Qt SerialPort from Debian: the build begins.
libs KORVEL_QTSERIALPORT_SOURCE=
check "whole sources: the build starts and its first failure ends it" [ "$rc" = 1 ]
check "whole sources: the failed step is named" says "Qt 5.15.8 (qtbase): configure failed"
check "whole sources: its output is shown" says "qtbase configure of the test archive"
check "whole sources: Qt SerialPort from Debian" [ -f "$sources/qtserialport-opensource-src_5.15.8.orig.tar.xz" ]
check "whole sources: no finished mark" sh -c "! ls '$KORVEL_WINDOWS_CACHE'/*/.complete 2>/dev/null"
calls=$(grep -c "source --download-only" "$KORVEL_WINDOWS_CACHE/apt-calls.txt")
libs KORVEL_QTSERIALPORT_SOURCE=
check "whole sources in the cache: taken without apt-get" \
    [ "$(grep -c "source --download-only" "$KORVEL_WINDOWS_CACHE/apt-calls.txt")" = "$calls" ]
check "whole sources in the cache: the build starts" says "Qt 5.15.8 (qtbase): configure failed"

# The cache key follows the files the build follows.
keys() { ls "$KORVEL_WINDOWS_CACHE" | grep -c '\.lock$'; }
before=$(keys)
libs APT_OFFLINE=1
check "the same files: the same key" [ "$(keys)" = "$before" ]
echo "# changed" >>"$tree/cmake/mingw-w64.cmake"
libs APT_OFFLINE=1
check "a changed toolchain file: a new key" [ "$(keys)" = $((before + 1)) ]
echo "# changed" >>"$tree/cmake/windows/qcustomplot/CMakeLists.txt"
libs APT_OFFLINE=1
check "a changed QCustomPlot CMake file: a new key" [ "$(keys)" = $((before + 2)) ]
echo "# changed" >>"$script"
libs APT_OFFLINE=1
check "a changed build script: a new key" [ "$(keys)" = $((before + 3)) ]

finish
