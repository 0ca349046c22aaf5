#!/usr/bin/env bash
# Draws the program's icon and writes quarnet-setup.ico beside this script:
# a blue tile with a white arrow into a tray, at 16, 24, 32 and 48 pixels.
# The .ico is committed; run this only to change the drawing (needs imagemagick).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
convert=/usr/bin/convert  # the real imagemagick, whatever else is on PATH
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One drawing at 256 pixels, scaled down for each size.
"$convert" -size 256x256 xc:none \
    -fill '#1f6fd1' -draw 'roundrectangle 8,8 247,247 44,44' \
    -fill white -stroke none \
    -draw 'rectangle 108,40 148,132' \
    -draw 'polygon 72,124 184,124 128,184' \
    -draw 'rectangle 56,196 200,216' \
    -draw 'rectangle 56,164 76,216' \
    -draw 'rectangle 180,164 200,216' \
    "$work/icon-256.png"

sizes=(16 24 32 48)
layers=()
for size in "${sizes[@]}"; do
    "$convert" "$work/icon-256.png" -filter Lanczos -resize "${size}x${size}" "$work/icon-$size.png"
    layers+=("$work/icon-$size.png")
done
"$convert" "${layers[@]}" "$here/quarnet-setup.ico"
ls -l "$here/quarnet-setup.ico"
