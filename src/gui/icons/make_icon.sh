#!/usr/bin/env bash
# Draws the program icon (a motor with a sine wave: a drive feeding a motor) with ImageMagick.
# Run from this folder; the PNG and the ICO are committed, so the build needs neither ImageMagick
# nor icoutils.
set -euo pipefail
convert -size 64x64 xc:none \
    -fill '#2f5d8a' -stroke '#1b3550' -strokewidth 2 -draw 'roundrectangle 3,3 60,60 10,10' \
    -fill '#c8ccd2' -stroke '#50565e' -strokewidth 2 -draw 'roundrectangle 10,9 42,35 5,5' \
    -stroke '#7a8089' -strokewidth 1 \
    -draw 'line 16,11 16,33' -draw 'line 21,11 21,33' -draw 'line 26,11 26,33' \
    -draw 'line 31,11 31,33' -draw 'line 36,11 36,33' \
    -fill '#9aa0a8' -stroke '#50565e' -strokewidth 1 -draw 'rectangle 42,19 55,25' \
    -fill '#50565e' -stroke none -draw 'rectangle 13,35 39,40' \
    -fill none -stroke '#ff4040' -strokewidth 3 \
    -draw 'path "M 9,50 C 13,42 17,42 21,50 S 29,58 33,50 S 41,42 45,50 S 53,58 55,52"' \
    -depth 8 quorvel.png
# The Windows program icon (the .exe's resource) from the drawings at each size that
# packaging/icons/make_icons.sh renders: 16 to 64 pixels as bitmaps, and the 256-pixel image that
# Explorer's large views and the Start menu's tiles use, PNG-compressed as Windows expects
# (icotool, package icoutils).
sizes=../../../packaging/icons
icotool -c -o quorvel.ico "$sizes"/{16x16,24x24,32x32,48x48,64x64}/quorvel.png \
    --raw="$sizes/256x256/quorvel.png"
