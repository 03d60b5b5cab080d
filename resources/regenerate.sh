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

# The same artwork drawn at 2x and 3x, for editors on scaled screens (resource id + 1000 and
# + 2000). Drawn from the vectors, not enlarged, so edges and text stay sharp.
for k in 2 3; do
  mkdir -p "img/${k}x"
  for name in bg but_play but_ig gph_show knob knob2 knob3 preset slider slider_vert waves; do
    rsvg-convert -z "$k" -f png -o "$tmp/$name@$k.png" "src/$name.svg"
  done
  python3 imgtool.py rgb "$tmp/bg@$k.png" "img/${k}x/bg.png"
  for name in but_play but_ig gph_show knob knob2 knob3 preset slider slider_vert waves; do
    cp "$tmp/$name@$k.png" "img/${k}x/$name.png"
  done
done

# Cursors: 32 x 32, hot spot at the arrow's tip.
rsvg-convert -f png -o "$tmp/ascend.png" src/cursor_ascend.svg
rsvg-convert -f png -o "$tmp/descend.png" src/cursor_descend.svg
python3 imgtool.py cur "$tmp/ascend.png" cursors/ascend.cur 16 1
python3 imgtool.py cur "$tmp/descend.png" cursors/descend.cur 16 30

for k in 2 3; do
  mkdir -p "cursors/${k}x"
  rsvg-convert -z "$k" -f png -o "$tmp/ascend@$k.png" src/cursor_ascend.svg
  rsvg-convert -z "$k" -f png -o "$tmp/descend@$k.png" src/cursor_descend.svg
  python3 imgtool.py cur "$tmp/ascend@$k.png" "cursors/${k}x/ascend.cur" $((16 * k)) $((1 * k))
  python3 imgtool.py cur "$tmp/descend@$k.png" "cursors/${k}x/descend.cur" $((16 * k)) $((30 * k))
done

python3 imgtool.py check img cursors
python3 imgtool.py check img/2x cursors/2x 2
python3 imgtool.py check img/3x cursors/3x 3
echo "images and cursors regenerated"
