#!/usr/bin/env bash
# Draws the program's icon and writes quarnet-setup.ico beside this script:
# a blue tile with a white arrow into a tray, at 16, 24, 32 and 48 pixels, each
# stored as PNG (Windows Vista and later read PNG at every size), a tenth of the
# bytes of bitmaps in the exe.
# The .ico is committed; run this only to change the drawing (needs imagemagick
# and zopfli, whose zopflipng packs each layer a fifth smaller, losslessly).
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
    "$convert" "$work/icon-256.png" -filter Lanczos -resize "${size}x${size}" -strip \
        -define png:exclude-chunks=date,time -define png:compression-level=9 "PNG32:$work/icon-$size.png"
    zopflipng -m --iterations=500 --filters=01234mepb -y "$work/icon-$size.png" "$work/packed-$size.png" >/dev/null
    layers+=("$work/packed-$size.png")
done
# The icon directory, one entry per layer, then the PNG files themselves.
python3 - "$here/quarnet-setup.ico" "${layers[@]}" <<'PACK'
import struct, sys
pngs = [open(path, "rb").read() for path in sys.argv[2:]]
sizes = [struct.unpack(">II", png[16:24]) for png in pngs]
out = struct.pack("<HHH", 0, 1, len(pngs))
offset = 6 + 16 * len(pngs)
for (width, height), png in zip(sizes, pngs):
    out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(png), offset)
    offset += len(png)
open(sys.argv[1], "wb").write(out + b"".join(pngs))
PACK
ls -l "$here/quarnet-setup.ico"
