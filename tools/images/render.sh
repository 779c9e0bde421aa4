#!/usr/bin/env bash
# Renders the program's pictures from their sources in tools/images/svg/:
#   res/images/<id>.png  every PNG resource at the exact size the program loads it
#   res/images/129.jpg   the customer-service QR picture (JPEG data under the PNG type)
#   res/icon.ico         the program icon, 16, 24, 32, 48 and 256 pixels
# The build only embeds the rendered files; run this after changing a source or the
# customer-service address, then check.sh, and commit both the sources and the results.
#
#   RUNDIX_KEFU_URL=https://support.example.com/chat tools/images/render.sh
#
# The address must be the one the build is configured with (cache variable RUNDIX_KEFU_URL);
# without the variable the build's default is used.
# Needs: rsvg-convert (librsvg2-bin), qrencode, ImageMagick 6, the WenQuanYi Micro Hei font.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
svg="$here/svg"
out="$root/res/images"
url=${RUNDIX_KEFU_URL:-http://127.0.0.1:18480/rundix/kefu}

missing=""
for tool in rsvg-convert qrencode convert identify; do
  command -v "$tool" >/dev/null || missing="$missing $tool"
done
if [ -n "$missing" ]; then
  echo "render.sh: missing$missing (apt-get install librsvg2-bin qrencode imagemagick)" >&2
  exit 1
fi
if ! fc-list | grep -q "WenQuanYi Micro Hei"; then
  echo "render.sh: the WenQuanYi Micro Hei font is missing (apt-get install fonts-wqy-microhei)" >&2
  exit 1
fi
font=$(fc-match -f '%{file}' 'WenQuanYi Micro Hei')

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# id, width, height: the pixel sizes the program loads. Where each is drawn, and at what
# size, is in res/images/README.md.
sizes="
102 96 96
104 40 40
105 40 40
106 40 40
107 520 270
108 520 270
109 520 270
110 520 270
111 520 270
112 48 48
113 200 200
114 40 40
115 40 40
116 40 40
117 48 48
118 48 48
119 40 40
120 48 48
121 48 48
122 160 160
124 32 32
130 40 40
131 148 148
"
while read -r id w h; do
  [ -n "$id" ] || continue
  rsvg-convert -w "$w" -h "$h" "$svg/$id.svg" -o "$out/$id.png"
done <<<"$sizes"

# 129: a QR code of the chat page address, error correction H so that the mark in its middle
# costs nothing, one module 16 pixels, a caption below. 750 x 750, drawn at 359 x 350.
qrencode -l H -s 16 -m 0 -o "$work/qr.png" "$url"
qr=$(identify -format %w "$work/qr.png")
if [ "$qr" -gt 560 ]; then
  echo "render.sh: the address is too long for the QR picture ($qr pixels): shorten it" >&2
  exit 1
fi
rsvg-convert -w 104 -h 104 "$svg/102.svg" -o "$work/mark.png"
top=$(( 40 + (560 - qr) / 2 ))
convert -size 750x750 xc:white \
  "$work/qr.png" -gravity north -geometry +0+"$top" -composite \
  \( -size 128x128 xc:none -fill white -draw "roundrectangle 0,0 127,127 24,24" \) \
  -gravity north -geometry +0+$(( top + qr / 2 - 64 )) -composite \
  "$work/mark.png" -gravity north -geometry +0+$(( top + qr / 2 - 52 )) -composite \
  -font "$font" -pointsize 36 -fill '#333333' -gravity north \
  -annotate +0+$(( top + qr + 44 )) '扫一扫，联系在线客服' \
  -strip -quality 92 -sampling-factor 1x1 "$out/129.jpg"

# 101: the program icon. The small sizes come from the pixel-grid variant.
rsvg-convert -w 16 -h 16 "$svg/101-small.svg" -o "$work/16.png"
rsvg-convert -w 24 -h 24 "$svg/101-small.svg" -o "$work/24.png"
for s in 32 48 256; do
  rsvg-convert -w "$s" -h "$s" "$svg/102.svg" -o "$work/$s.png"
done
convert "$work/16.png" "$work/24.png" "$work/32.png" "$work/48.png" "$work/256.png" \
  -define png:exclude-chunks=date,time "$root/res/icon.ico"

echo "rendered $(wc -w <<<"$(ls "$out")") files into res/images and res/icon.ico (QR: $url)"
