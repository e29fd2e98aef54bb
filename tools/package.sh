#!/usr/bin/env bash
# Builds the Debian package: a Release build without the tests into
# build-package/ (or $QLARKW_PACKAGE_DIR), with Debian's hardening flags,
# then `cpack -G DEB`. Prints the package's path; runs lintian on it when
# lintian is installed. Needs dpkg-dev (dpkg-shlibdeps computes the shared
# libraries' packages).
#   tools/package.sh [extra CMake arguments]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QLARKW_PACKAGE_DIR:-$root/build-package}

# Debian's compiler and linker flags for packages (PIE, stack protector,
# fortified functions, full RELRO, BIND_NOW).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CXXFLAGS LDFLAGS

QLARKW_BUILD_DIR=$build "$root/tools/build.sh" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=/usr -DQLARKW_BUILD_TESTS=OFF \
    -DCMAKE_STRIP="$root/packaging/debian-strip.sh" "$@"
rm -f "$build"/qlarkw_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/qlarkw_*.deb)
deb=${debs[0]}
echo "$deb"
if command -v lintian >/dev/null; then
    lintian --info --display-info --pedantic "$deb" || true
fi
