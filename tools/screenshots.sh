#!/bin/sh
# Renders every window of qlarkw into PNG files under Xvfb with a Japanese
# font, at 100 % and at 200 % scaling.
# Usage: tools/screenshots.sh [BUILD_DIR] [OUT_DIR]
#   BUILD_DIR  default: build (must hold tools/qlarkw-shots)
#   OUT_DIR    default: shots (gets 100/ and 200/)
# Needs: xvfb, xauth, fonts-ipafont-gothic.
set -eu
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
out="${2:-$root/shots}"
shots="$build/tools/qlarkw-shots"
[ -x "$shots" ] || { echo "build first: $shots is missing" >&2; exit 1; }
fc-list | grep -qi ipagothic || echo "warning: fonts-ipafont-gothic is not installed; Japanese texts show as boxes" >&2
export QT_QPA_PLATFORM=xcb
unset QT_QPA_PLATFORMTHEME || true
for scale in 1 2; do
  dir="$out/$((scale * 100))"
  rm -rf "$dir"
  QT_SCALE_FACTOR=$scale xvfb-run -a -s "-screen 0 1600x1200x24" "$shots" "$dir" >/dev/null
  echo "$(ls "$dir" | wc -l) screenshots in $dir"
done
