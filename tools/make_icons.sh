#!/bin/sh
# Draws the program's icons (board connectors and the About box picture) with
# ImageMagick, at 32 x 32 and at 64 x 64 for screens scaled to 200 %, and the
# application icon of the desktop entry: the About box picture as an SVG of
# the same drawing, rendered by rsvg-convert (librsvg2-bin) at the hicolor
# theme's sizes.
# Usage: tools/make_icons.sh   (writes into src/resources/icons/)
set -eu
out="$(cd "$(dirname "$0")/.." && pwd)/src/resources/icons"
mkdir -p "$out"
font="$(fc-match -f '%{file}' 'DejaVu Sans:bold')"

# board NAME DIGIT COLOUR: a circuit board with its connector on the left and
# the connector's number, CN3 for Q-LARK and CN2 for Q-LARK2.
board() {
  name=$1 digit=$2 colour=$3
  for s in 1 2; do
    size=$((32 * s)); suffix=""; [ "$s" = 2 ] && suffix="@2x"
    convert -size ${size}x${size} xc:none \
      -fill "$colour" -stroke '#1b3d1b' -strokewidth "$s" \
      -draw "roundrectangle $((2*s)),$((3*s)) $((29*s)),$((28*s)) $((3*s)),$((3*s))" \
      -fill '#303030' -stroke none \
      -draw "rectangle $((4*s)),$((8*s)) $((9*s)),$((23*s))" \
      -fill '#e0c040' \
      -draw "rectangle $((5*s)),$((10*s)) $((8*s)),$((11*s))" \
      -draw "rectangle $((5*s)),$((13*s)) $((8*s)),$((14*s))" \
      -draw "rectangle $((5*s)),$((16*s)) $((8*s)),$((17*s))" \
      -draw "rectangle $((5*s)),$((19*s)) $((8*s)),$((20*s))" \
      -fill white -font "$font" -pointsize $((9*s)) \
      -draw "text $((11*s)),$((13*s)) 'CN'" \
      -pointsize $((13*s)) -draw "text $((14*s)),$((26*s)) '$digit'" \
      "PNG32:$out/$name$suffix.png"
  done
}
board board1 3 '#2e7d32'
board board2 2 '#1565c0'

# The About box: the Writer, a board with a USB plug and a chip.
for s in 1 2; do
  size=$((32 * s)); suffix=""; [ "$s" = 2 ] && suffix="@2x"
  convert -size ${size}x${size} xc:none \
    -fill '#2e7d32' -stroke '#1b3d1b' -strokewidth "$s" \
    -draw "roundrectangle $((1*s)),$((6*s)) $((30*s)),$((26*s)) $((3*s)),$((3*s))" \
    -fill '#c0c0c0' -stroke '#606060' \
    -draw "rectangle $((0*s)),$((11*s)) $((6*s)),$((20*s))" \
    -fill '#202020' -stroke none \
    -draw "rectangle $((12*s)),$((10*s)) $((25*s)),$((22*s))" \
    -fill '#e0c040' \
    -draw "rectangle $((13*s)),$((8*s)) $((14*s)),$((9*s))" \
    -draw "rectangle $((17*s)),$((8*s)) $((18*s)),$((9*s))" \
    -draw "rectangle $((21*s)),$((8*s)) $((22*s)),$((9*s))" \
    -draw "rectangle $((13*s)),$((23*s)) $((14*s)),$((24*s))" \
    -draw "rectangle $((17*s)),$((23*s)) $((18*s)),$((24*s))" \
    -draw "rectangle $((21*s)),$((23*s)) $((22*s)),$((24*s))" \
    -fill '#ff5050' -draw "circle $((27*s)),$((10*s)) $((28*s)),$((11*s))" \
    "PNG32:$out/writer$suffix.png"
done
# The application icon: the drawing above on a 32-unit grid. ImageMagick's
# coordinates are pixel centres, the SVG's pixel edges: outlined shapes move
# by half a unit, filled ones span their last pixel.
app="$out/app"
mkdir -p "$app"
cat >"$app/qlarkw.svg" <<'SVG'
<?xml version="1.0" encoding="UTF-8"?>
<!-- The Q-LARK USB Writer: a board with a USB plug, a chip and a lamp. -->
<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">
  <rect x="1.5" y="6.5" width="29" height="20" rx="3" fill="#2e7d32" stroke="#1b3d1b"/>
  <rect x="0.5" y="11.5" width="6" height="9" fill="#c0c0c0" stroke="#606060"/>
  <rect x="12" y="10" width="14" height="13" fill="#202020"/>
  <g fill="#e0c040">
    <rect x="13" y="8" width="2" height="2"/>
    <rect x="17" y="8" width="2" height="2"/>
    <rect x="21" y="8" width="2" height="2"/>
    <rect x="13" y="23" width="2" height="2"/>
    <rect x="17" y="23" width="2" height="2"/>
    <rect x="21" y="23" width="2" height="2"/>
  </g>
  <circle cx="27.5" cy="10.5" r="1.4" fill="#ff5050"/>
</svg>
SVG
for size in 16 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" -o "$app/qlarkw-$size.png" "$app/qlarkw.svg"
done
# The Windows icon (the programs' resource, the setup program's), from the
# same renderings.
convert "$app/qlarkw-16.png" "$app/qlarkw-32.png" "$app/qlarkw-48.png" "$app/qlarkw-64.png" \
  "$app/qlarkw-256.png" "$app/qlarkw.ico"
echo "icons written to $out"
