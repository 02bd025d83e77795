#!/usr/bin/env bash
# Draws the gallery's images with ImageMagick. The PNGs are committed; run
# this only to change them (then regenerate the gallery goldens).
set -euo pipefail
cd "$(dirname "$0")/img"
im=/usr/bin/convert

# One button state: a rounded face with a darker frame.
state() { # fill frame extra-draw out
  $im -size 80x28 xc:none -fill "$1" -stroke "$2" -strokewidth 2 -draw 'roundrectangle 1,1 78,26 6,6' $3 "PNG32:$4"
}
state '#3A7BD5' '#1D3E6B' '' n.png
state '#1D4F9A' '#0E2747' '' p.png
state '#6FA8F0' '#2A5C9E' '' h.png
state '#3A7BD5' '#F5C518' '' f.png
state '#9AA0A8' '#6B7078' '' d.png
# normal, pushed, hot, focused, disabled: the order of "fivestatusimage"
$im n.png p.png h.png f.png d.png +append PNG32:button5.png
rm n.png p.png h.png f.png d.png

# Check box: unchecked, checked, hot (16 x 16 each)
$im -size 16x16 xc:none -fill white -stroke '#40464F' -draw 'rectangle 1,1 14,14' PNG32:c0.png
$im c0.png -stroke '#1F8A3B' -strokewidth 2 -fill none -draw 'polyline 3,8 6,12 12,4' PNG32:c1.png
$im -size 16x16 xc:none -fill '#DDEBFF' -stroke '#3A7BD5' -draw 'rectangle 1,1 14,14' PNG32:c2.png
$im c0.png c1.png c2.png +append PNG32:check.png
rm c0.png c1.png c2.png

# Radio: off, on, hot
$im -size 16x16 xc:none -fill white -stroke '#40464F' -draw 'circle 7.5,7.5 7.5,1' PNG32:r0.png
$im r0.png -fill '#C0392B' -stroke none -draw 'circle 7.5,7.5 7.5,4' PNG32:r1.png
$im -size 16x16 xc:none -fill '#DDEBFF' -stroke '#3A7BD5' -draw 'circle 7.5,7.5 7.5,1' PNG32:r2.png
$im r0.png r1.png r2.png +append PNG32:radio.png
rm r0.png r1.png r2.png

# A panel for nine-piece drawing: 6-pixel frame, light middle
$im -size 24x24 xc:'#2B3A55' -fill '#E8EEF7' -stroke none -draw 'rectangle 6,6 17,17' \
    -fill '#F5C518' -draw 'rectangle 0,0 5,5' -draw 'rectangle 18,18 23,23' PNG32:panel.png

# Progress track and bar
$im -size 40x12 xc:none -fill '#D5DAE1' -stroke '#8A93A0' -draw 'roundrectangle 0,0 39,11 5,5' PNG32:progress_bk.png
$im -size 40x12 gradient:'#7BD389-#1F8A3B' -rotate 0 PNG32:progress_fore.png

# An 8 x 8 checker tile, and a 16 x 16 icon with a magenta mask background
$im -size 8x8 xc:'#FFFFFF' -fill '#B0B8C4' -draw 'rectangle 0,0 3,3' -draw 'rectangle 4,4 7,7' PNG32:tile.png
# Drawn without anti-aliasing: only exact magenta is masked away.
$im -size 16x16 xc:'#FF00FF' +antialias -fill '#E67E22' -draw 'circle 7.5,7.5 7.5,2' PNG32:icon.png

# A 40 x 40 rotor: a grey disc with a red arm pointing right, to show turning;
# a slider thumb.
$im -size 40x40 xc:none -fill '#C8CED8' -draw 'circle 19.5,19.5 19.5,4' -fill '#C0392B' \
    -draw 'rectangle 20,16 39,23' PNG32:rotor.png
$im -size 12x18 xc:none -fill '#FFFFFF' -stroke '#3A7BD5' -strokewidth 2 -draw 'roundrectangle 1,1 10,16 3,3' \
    PNG32:thumb.png

# Without time stamps, so that running this again changes no byte.
for f in *.png; do $im "$f" -define png:exclude-chunks=date,time "PNG32:$f"; done

# The animations (GIF and animated PNG) are written byte by byte, after the
# loop above, which would flatten an animated PNG to its first frame.
/usr/bin/python3 ../make-animations.py
