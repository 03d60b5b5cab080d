#!/usr/bin/env bash
# Writes a mock-up of the whole editor (background plus every control at its place) to
# the PNG file given as argument (default: /tmp/caldrith-preview.png); a second argument
# "alt" shows the other states of the buttons, the switch and the wave picture.
set -euo pipefail
cd "$(dirname "$0")"
out=${1:-/tmp/caldrith-preview.png}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
python3 preview.py "$tmp/preview.svg" ${2:+"$2"}
rsvg-convert -f png -o "$out" "$tmp/preview.svg"
echo "$out"
