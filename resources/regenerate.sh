#!/usr/bin/env bash
# Writes the SVG sources (src/make_svg.py), renders every editor image and both cursors
# from them, then checks sizes, frame counts and alpha. Needs rsvg-convert
# (librsvg2-bin) and python3.
set -euo pipefail
cd "$(dirname "$0")"
command -v rsvg-convert >/dev/null || { echo "rsvg-convert not found (install librsvg2-bin)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

python3 src/make_svg.py

for name in bg but_play but_ig gph_show knob knob2 knob3 preset slider slider_vert waves; do
  rsvg-convert -f png -o "$tmp/$name.png" "src/$name.svg"
done
# The background is opaque: store it without an alpha channel.
python3 imgtool.py rgb "$tmp/bg.png" img/bg.png
for name in but_play but_ig gph_show knob knob2 knob3 preset slider slider_vert waves; do
  cp "$tmp/$name.png" "img/$name.png"
done

# Cursors: 32 x 32, hot spot at the arrow's tip.
rsvg-convert -f png -o "$tmp/ascend.png" src/cursor_ascend.svg
rsvg-convert -f png -o "$tmp/descend.png" src/cursor_descend.svg
python3 imgtool.py cur "$tmp/ascend.png" cursors/ascend.cur 16 1
python3 imgtool.py cur "$tmp/descend.png" cursors/descend.cur 16 30

python3 imgtool.py check img cursors
echo "images and cursors regenerated"
