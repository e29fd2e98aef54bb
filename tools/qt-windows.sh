#!/usr/bin/env bash
# Makes a Qt 6 installation for 64-bit Windows (x86_64-w64-mingw32) and
# prints its path on the last line of its output.
#
#   tools/qt-windows.sh            make it when missing, print the prefix
#   tools/qt-windows.sh --check    print the prefix when it is ready or can
#                                  be unpacked without building; exit 1 and
#                                  say why otherwise (nothing is changed)
#
# The prefix is $QLARKW_QT_WINDOWS, by default
# ~/.cache/qlarkw/qt-<version>-mingw64. A finished prefix (it holds the
# marker file .qlarkw-complete) is used as it is. Otherwise, when
# ../shared/qt-windows/ beside the repository ($QLARKW_SHARED/qt-windows/
# when that is set) holds the prebuilt archive, its
# checksum is checked and it is unpacked; else Qt is built from Debian's own
# qt6-base source (apt-get source; a deb-src entry for the configured Debian
# archive is added when none is there), which takes about 40 minutes on two
# cores. The build's parallelism is $QLARKW_QT_JOBS (default: the number of
# cores).
#
# The moc, rcc and uic of the Windows build are those of the host
# (qt6-base-dev-tools), so the source is the version of the host's tools.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
qt_version=6.4.2
name=qt-$qt_version-mingw64
prefix=${QLARKW_QT_WINDOWS:-$HOME/.cache/qlarkw/$name}
shared=${QLARKW_SHARED:-$root/../shared}/qt-windows
archive=$shared/$name.tar.xz
marker=.qlarkw-complete
toolchain=$root/cmake/mingw-w64-x86_64.cmake

say() { echo "qt-windows: $*" >&2; }

if [ -f "$prefix/$marker" ]; then
    say "using the finished Qt for Windows in $prefix"
    echo "$prefix"
    exit 0
fi

if [ -e "$prefix" ]; then
    # Not made by this script (it moves a prefix into place only when it is
    # complete): a Qt for Windows of the user's own is taken as it is.
    if [ -f "$prefix/lib/cmake/Qt6/Qt6Config.cmake" ]; then
        say "using the Qt for Windows in $prefix"
        echo "$prefix"
        exit 0
    fi
    say "$prefix is there but holds no Qt; remove it or set QLARKW_QT_WINDOWS to another folder"
    exit 1
fi

if [ "${1:-}" = --check ]; then
    if [ -f "$archive" ]; then
        say "the prebuilt Qt for Windows in $shared can be unpacked"
        echo "$prefix"
        exit 0
    fi
    say "no Qt for Windows in $prefix and no prebuilt archive in $shared"
    exit 1
fi

mkdir -p "$(dirname "$prefix")"
# Everything is made beside the prefix and moved into place when complete:
# an interrupted run leaves no half prefix behind.
work=$(mktemp -d "$(dirname "$prefix")/.qt-windows.XXXXXX")
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

if [ -f "$archive" ]; then
    start=$SECONDS
    say "unpacking the prebuilt Qt for Windows from $shared (checksum first)"
    (cd "$shared" && sha256sum --quiet -c SHA256SUMS) || {
        say "$archive does not match $shared/SHA256SUMS"
        exit 1
    }
    tar -xJf "$archive" -C "$work"
    [ -f "$work/$name/lib/cmake/Qt6/Qt6Config.cmake" ] || {
        say "$archive holds no $name/lib/cmake/Qt6/Qt6Config.cmake"
        exit 1
    }
    touch "$work/$name/$marker"
    mv "$work/$name" "$prefix"
    say "unpacked in $((SECONDS - start)) s"
    echo "$prefix"
    exit 0
fi

# From source.
start=$SECONDS
say "no prebuilt archive in $shared: building Qt $qt_version for Windows from Debian's source"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
"$root/tools/install-deps.sh" windows
need=()
for p in dpkg-dev perl python3; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
[ ${#need[@]} -eq 0 ] || DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq \
    --no-install-recommends "${need[@]}"

source_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
case "$source_version" in
    "$qt_version"+*) ;;
    *) say "the host's qt6-base-dev-tools is $source_version, not Qt $qt_version"; exit 1 ;;
esac

# A deb-src entry for the Debian archive apt is configured with, when apt
# has no source index yet.
if [ -z "$(apt-get indextargets 'Created-By: Sources' 2>/dev/null)" ]; then
    read -r uri suite < <(apt-get indextargets \
        --format '$(ORIGIN) $(REPO_URI) $(RELEASE)' 'Created-By: Packages' |
        awk '$1 == "Debian" && $3 !~ /-/ { print $2, $3; exit }')
    [ -n "${uri:-}" ] || { say "apt is configured with no Debian archive"; exit 1; }
    list=/etc/apt/sources.list.d/qlarkw-deb-src.sources
    say "adding $list: deb-src $uri $suite main"
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
        "$uri" "$suite" /usr/share/keyrings/debian-archive-keyring.gpg |
        "${sudo[@]}" tee "$list" >/dev/null
    "${sudo[@]}" apt-get update -qq
fi

(cd "$work" && apt-get source -qq "qt6-base=$source_version" >/dev/null)
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n1)
[ -n "$src" ] || { say "apt-get source qt6-base unpacked nothing"; exit 1; }

staged=$work/$name
mkdir -p "$staged"
# qt-cmake of the prefix chain-loads this file from the prefix itself.
cp "$toolchain" "$staged/mingw-w64.cmake"
say "configuring (the log is $work/configure.log while it runs)"
cmake -G Ninja -S "$src" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$staged/mingw-w64.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_INSTALL_PREFIX="$staged" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_opengl=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF \
    -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF \
    -DFEATURE_xml=OFF -DFEATURE_testlib=ON -DFEATURE_tabletevent=OFF \
    -DFEATURE_dynamicgl=OFF >"$work/configure.log" 2>&1 || {
    tail -n 30 "$work/configure.log" >&2
    say "configure failed"
    exit 1
}
say "configured in $((SECONDS - start)) s; building (about 40 minutes on two cores)"
cmake --build "$work/build" --parallel "${QLARKW_QT_JOBS:-$(nproc)}" >"$work/build.log" 2>&1 || {
    tail -n 30 "$work/build.log" >&2
    say "the build failed"
    exit 1
}
cmake --install "$work/build" >/dev/null
touch "$staged/$marker"
mv "$staged" "$prefix"
say "built and installed in $((SECONDS - start)) s"
echo "$prefix"
