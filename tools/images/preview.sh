#!/usr/bin/env bash
# Contact sheets of the rendered pictures, for looking at them before a commit:
#   full.png     every image at its own size on white, labelled with id and size
#   drawn.png    every image at the size the program draws it, sampled nearest-neighbour as
#                the program's blitter does, then enlarged (icons 4 times, the pictures of 80
#                and 160 pixels twice) so single pixels can be judged
#   banners.png  the five home-page pictures as the banner shows them (674 x 350, cut to 342)
#
#   tools/images/preview.sh [OUTPUT_DIR]      # default: build/images-preview
#
# Needs ImageMagick and the WenQuanYi Micro Hei font (for the labels).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
img="$root/res/images"
out=${1:-$root/build/images-preview}
font=$(fc-match -f '%{file}' 'WenQuanYi Micro Hei')
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

file_of() { if [ "$1" = 129 ]; then echo "$img/129.jpg"; else echo "$img/$1.png"; fi; }

# id and drawn size (W or WxH) where the program shows it.
drawn="
102 40
104 24
105 24
106 24
130 24
112 26
120 26
121 26
118 26
113 30
114 24
115 24
116 24
119 24
119 30
117 30
124 25
122 80
131 160
129 359x350
"

tiles=()
for id in 102 104 105 106 130 112 120 121 118 113 114 115 116 119 117 124 122 131 129 \
          107 108 109 110 111; do
  f=$(file_of "$id")
  size=$(identify -format '%wx%h' "$f")
  convert "$f" -background white -flatten -resize '260x260>' -gravity center \
    -extent 280x290 -font "$font" -pointsize 14 -fill '#818181' -gravity south \
    -annotate +0+6 "$id  $size" "$work/full_$id.png"
  tiles+=("$work/full_$id.png")
done
montage "${tiles[@]}" -tile 6x -geometry +4+4 -background white "$out/full.png"

tiles=()
n=0
while read -r id size; do
  [ -n "$id" ] || continue
  n=$((n + 1))
  case "$size" in *x*) geometry="$size!"; zoom=100 ;; *) geometry="${size}x${size}!" ;; esac
  case "$size" in *x*) ;; ?|??) zoom=400 ;; *) zoom=200 ;; esac
  convert "$(file_of "$id")" -sample "$geometry" -background white -flatten -scale "$zoom%" \
    -bordercolor white -border 8 \
    -font "$font" -pointsize 16 -fill '#818181' -gravity south -splice 0x24 \
    -annotate +0+4 "$id at $size" "$work/drawn_$n.png"
  tiles+=("$work/drawn_$n.png")
done <<<"$drawn"
montage "${tiles[@]}" -tile 5x -geometry '+4+4>' -background white "$out/drawn.png"

tiles=()
for id in 107 108 109 110 111; do
  convert "$img/$id.png" -sample '674x350!' -crop 674x342+0+0 +repage \
    -bordercolor '#DDDDDD' -border 1 "$work/banner_$id.png"
  tiles+=("$work/banner_$id.png")
done
montage "${tiles[@]}" -tile 2x -geometry +8+8 -background white "$out/banners.png"

echo "contact sheets in $out: full.png drawn.png banners.png"
