#!/bin/sh
# Redraws the Termgate icons: a blue two-tone shield with a white check mark.
#
# Every size has its own drawing, laid out on that size's pixel grid, so the rim and the check land
# on whole pixels instead of blurring the way a downscaled 48 px picture would at 16 px. For 32 and
# 48 px the coordinates are pixel edges of the final icon (0..SIZE); the picture is rendered at SS
# times its size without ImageMagick's antialiasing and box-filtered down, which turns sub-pixel
# coverage into exact alpha. The 16 px icon is a pixel map.
#
# Usage: draw_icons.sh [output-directory]   (defaults to the directory of this script)
set -eu

out=${1:-$(dirname "$0")}
if command -v magick >/dev/null 2>&1; then
  im=magick
elif command -v convert >/dev/null 2>&1; then
  im=convert
else
  echo "draw_icons.sh: ImageMagick (magick or convert) is required" >&2
  exit 1
fi

SS=16
# ImageMagick puts pixel centres on integer coordinates; this shift makes integer coordinates
# pixel edges, so a shape from 2 to 6 covers exactly four final pixels.
shift_half="translate -$(awk "BEGIN { print 0.5 / $SS }"),-$(awk "BEGIN { print 0.5 / $SS }")"

light='#4c93ea'
dark='#1f5cc0'
edge='#123b7d'
mark='#ffffff'
shade='#0d2c5e'

render() { # size file mvg
  size=$1
  file=$2
  big=$((size * SS))
  "$im" -size "${big}x${big}" xc:none +antialias \
    -draw "scale $SS,$SS $shift_half $3" \
    -filter box -resize "${size}x${size}" \
    -strip -define png:exclude-chunks=date,time "PNG32:$out/$file"
}

# 48 px: curved shield with a one-pixel-wide rim, a faint inner highlight and a shadowed check.
shield48='M 24,3.5 L 41.5,9 L 41.5,22 C 41.5,33 34,40.5 24,45.5 C 14,40.5 6.5,33 6.5,22 L 6.5,9 Z'
right48='M 24,3.5 L 41.5,9 L 41.5,22 C 41.5,33 34,40.5 24,45.5 Z'
render 48 termgate_48.png "
  fill $light stroke none path '$shield48'
  fill $dark path '$right48'
  fill none stroke '#8fc0ff' stroke-width 1 path 'M 24,5.6 L 39.4,10.5 L 39.4,22 C 39.4,31.8 32.8,38.6 24,43.2 C 15.2,38.6 8.6,31.8 8.6,22 L 8.6,10.5 Z'
  fill none stroke $edge stroke-width 2 stroke-linejoin round path '$shield48'
  fill none stroke-linecap round stroke-linejoin round
  stroke $shade stroke-opacity 0.45 stroke-width 5.5 polyline 15.5,25 21.5,31 33.5,18
  stroke-opacity 1 stroke $mark stroke-width 5 polyline 15,24 21,30 33,17
"

# 32 px: the same shield, rim and check simplified to the coarser grid.
shield32='M 16,2.5 L 27.5,6 L 27.5,15 C 27.5,22 22.5,27 16,30.5 C 9.5,27 4.5,22 4.5,15 L 4.5,6 Z'
right32='M 16,2.5 L 27.5,6 L 27.5,15 C 27.5,22 22.5,27 16,30.5 Z'
render 32 termgate_32.png "
  fill $light stroke none path '$shield32'
  fill $dark path '$right32'
  fill none stroke $edge stroke-width 1.5 stroke-linejoin round path '$shield32'
  fill none stroke-linecap round stroke-linejoin round
  stroke $shade stroke-opacity 0.4 stroke-width 3.8 polyline 10.5,16.5 14.5,20.5 22.5,12
  stroke-opacity 1 stroke $mark stroke-width 3.5 polyline 10,16 14,20 22,11.5
"

# 16 px: drawn pixel by pixel, because no outline survives being sampled down to this size. A flat-topped
# shield, a one-pixel rim softened by half-transparent corner pixels, and a two-pixel staircase check.
#   . clear   e rim at half opacity   E rim   L left half   D right half   W check
pixels16='
................
.eEEEEEEEEEEEEe.
.ELLLLLLDDDDDDE.
.ELLLLLLDDDDDDE.
.ELLLLLLDDDDDDE.
.ELLLLLLDDDWWDE.
.ELLLLLLDDWWDDE.
.ELWWLLLDWWDDDE.
.ELLWWLLWWDDDDE.
.eELLWWWWDDDDEe.
..ELLLWWDDDDDE..
..eELLLLDDDDEe..
...eELLLDDDEe...
.....ELLDDE.....
......EEEE......
.......ee.......
'
mvg16=$(printf '%s\n' "$pixels16" | awk -v e='rgba(18,59,125,0.5)' -v E="$edge" -v L="$light" -v D="$dark" -v W="$mark" '
  BEGIN { colour["e"] = e; colour["E"] = E; colour["L"] = L; colour["D"] = D; colour["W"] = W }
  NF {
    for (x = 1; x <= length($0); x++) {
      c = substr($0, x, 1)
      if (c in colour) printf "fill %s point %d,%d\n", colour[c], x - 1, y
    }
    y++
  }')
"$im" -size 16x16 xc:none -draw "$mvg16" -strip -define png:exclude-chunks=date,time "PNG32:$out/termgate_16.png"
