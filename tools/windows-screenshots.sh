#!/usr/bin/env bash
# Renders every window of the Windows build of qlarkw into PNG files under
# Wine, as the installed program shows them (Qt's Windows platform and
# style, Qt's Japanese texts), at 100 % and at 200 % scaling. Wine draws
# the Japanese texts with the host's Japanese font (fonts-ipafont-gothic,
# found through fontconfig), as a Japanese Windows would with its own; Wine
# is headless here (its null graphics driver): Qt draws into the files.
# Usage: tools/windows-screenshots.sh [WIN_BUILD_DIR] [OUT_DIR]
#   WIN_BUILD_DIR  default: build-win (must hold tools/qlarkw-shots.exe)
#   OUT_DIR        default: WIN_BUILD_DIR/shots (gets 100/ and 200/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build-win}")
out=$(realpath -m "${2:-$build/shots}")
shots=$build/tools/qlarkw-shots.exe
[ -f "$shots" ] || { echo "build first: $shots is missing" >&2; exit 1; }
fc-list | grep -qi ipagothic ||
    echo "warning: fonts-ipafont-gothic is not installed; Japanese texts show as boxes" >&2
# A prefix of their own that looks like a Japanese Windows: its dialog font
# (Wine's Tahoma and MS Shell Dlg) is a Japanese Gothic.
export QLARKW_WINEPREFIX=$build/wine-shots
for font in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "MS UI Gothic"; do
    "$build/wine-run.sh" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" \
        /d IPAPGothic /f >/dev/null
done
# The installed folder, with the screenshot program beside the others.
deploy=$(mktemp -d)
trap 'rm -rf "$deploy"' EXIT
cmake --install "$build" --prefix "$deploy" >/dev/null
cp "$shots" "$deploy/"
for scale in 1 2; do
    dir=$out/$((scale * 100))
    rm -rf "$dir"
    QT_QPA_PLATFORM=windows QT_SCALE_FACTOR=$scale \
        "$build/wine-run.sh" "$deploy/qlarkw-shots.exe" "Z:$dir" >/dev/null
    echo "$(ls "$dir" | wc -l) screenshots in $dir"
done
