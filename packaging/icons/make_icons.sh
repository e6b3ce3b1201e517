#!/usr/bin/env bash
# Renders the program icon (the drawing of src/gui/icons/make_icon.sh) at the hicolor theme
# sizes, each drawn at its own scale rather than resized from 64 px. Run from this folder; the
# PNGs are committed, so neither the build nor the package needs ImageMagick.
set -euo pipefail
drawing="
fill '#2f5d8a' stroke '#1b3550' stroke-width 2 roundrectangle 3,3 60,60 10,10
fill '#c8ccd2' stroke '#50565e' stroke-width 2 roundrectangle 10,9 42,35 5,5
stroke '#7a8089' stroke-width 1
line 16,11 16,33 line 21,11 21,33 line 26,11 26,33 line 31,11 31,33 line 36,11 36,33
fill '#9aa0a8' stroke '#50565e' stroke-width 1 rectangle 42,19 55,25
fill '#50565e' stroke none rectangle 13,35 39,40
fill none stroke '#ff4040' stroke-width 3
path 'M 9,50 C 13,42 17,42 21,50 S 29,58 33,50 S 41,42 45,50 S 53,58 55,52'"
for size in 16 22 24 32 48 64 128 256; do
    scale=$(awk -v s="$size" 'BEGIN { printf "%.6f", s / 64 }')
    mkdir -p "${size}x${size}"
    convert -size "${size}x${size}" xc:none -draw "affine $scale,0,0,$scale,0,0 $drawing" \
        -depth 8 -strip "PNG32:${size}x${size}/quorvel.png"
done
