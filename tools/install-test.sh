#!/usr/bin/env bash
# Installs a build into a temporary DESTDIR as a package would
# (cmake --install --prefix /usr), checks that exactly the package's files
# are there, then runs the installed programs against the simulated Writer
# (packaging/check-installed.sh).
#   tools/install-test.sh [BUILD_DIR]      (default: $QLARKW_BUILD_DIR or build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${QLARKW_BUILD_DIR:-$root/build}}
start=$SECONDS

# The checkers of the installed files, when they are missing.
missing=()
for p in desktop-file-utils appstream man-db srecord; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dest=$work/dest
DESTDIR=$dest cmake --install "$build" --prefix /usr >/dev/null

# Exactly these files: no test, fuzzer or screenshot tool.
expected="usr/bin/qlarkw
usr/bin/qlarkw-cli
usr/bin/qlarkw-sim
usr/lib/udev/rules.d/70-qlark-writer.rules
usr/share/applications/qlarkw.desktop
usr/share/bash-completion/completions/qlarkw-cli
usr/share/doc/qlarkw/changelog.Debian.gz
usr/share/doc/qlarkw/copyright
usr/share/icons/hicolor/128x128/apps/qlarkw.png
usr/share/icons/hicolor/16x16/apps/qlarkw.png
usr/share/icons/hicolor/256x256/apps/qlarkw.png
usr/share/icons/hicolor/32x32/apps/qlarkw.png
usr/share/icons/hicolor/48x48/apps/qlarkw.png
usr/share/icons/hicolor/64x64/apps/qlarkw.png
usr/share/icons/hicolor/scalable/apps/qlarkw.svg
usr/share/man/man1/qlarkw-cli.1.gz
usr/share/man/man1/qlarkw-sim.1.gz
usr/share/man/man1/qlarkw.1.gz
usr/share/lintian/overrides/qlarkw
usr/share/metainfo/example.qlarkw.qlarkw.metainfo.xml
usr/share/mime/packages/qlarkw.xml"
# and the manual, as it stands in the source tree.
expected+=$'\n'$(cd "$root/docs/manual" && find . -type f | sed 's|^\./|usr/share/doc/qlarkw/manual/|')
expected=$(LC_ALL=C sort <<<"$expected")
installed=$(cd "$dest" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
if [ "$installed" != "$expected" ]; then
    echo "install-test: the installed files differ from the package's:" >&2
    diff <(echo "$expected") <(echo "$installed") >&2 || true
    exit 1
fi
echo "install-test: cmake --install put the package's $(wc -l <<<"$installed") files in place"

bash "$root/packaging/check-installed.sh" "$dest/usr" "$root/samples/blink.hex" "$work/run"
echo "install-test: passed in $((SECONDS - start)) s"
