#!/usr/bin/env bash
# Checks the rendered pictures against what the program expects: every file of
# res/resources.list exists; each image has its format and exact size; icons have a
# transparent background; the icon file holds its five sizes; the QR picture reads back as the
# chat page address at full size and at the size the customer-service window draws it.
#
#   tools/images/check.sh                       # address: the build's default
#   RUNDIX_KEFU_URL=https://... tools/images/check.sh
#
# Needs ImageMagick and zbarimg (zbar-tools). Prints one line per failure and a summary.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
res=$(cd "$here/../../res" && pwd)
url=${RUNDIX_KEFU_URL:-http://127.0.0.1:18480/rundix/kefu}
passed=0
failed=0
ok() { passed=$((passed + 1)); }
bad() { echo "FAIL: $*"; failed=$((failed + 1)); }

# id, format, width, height, background (transparent: corners must be clear)
expected="
102 PNG 96 96 transparent
104 PNG 40 40 transparent
105 PNG 40 40 transparent
106 PNG 40 40 transparent
107 PNG 520 270 opaque
108 PNG 520 270 opaque
109 PNG 520 270 opaque
110 PNG 520 270 opaque
111 PNG 520 270 opaque
112 PNG 48 48 transparent
113 PNG 200 200 transparent
114 PNG 40 40 transparent
115 PNG 40 40 transparent
116 PNG 40 40 transparent
117 PNG 48 48 transparent
118 PNG 48 48 transparent
119 PNG 40 40 transparent
120 PNG 48 48 transparent
121 PNG 48 48 transparent
122 PNG 160 160 transparent
124 PNG 32 32 transparent
129 JPEG 750 750 opaque
130 PNG 40 40 transparent
131 PNG 148 148 opaque
"

# The list: every line names an existing file; every image id above is listed once.
list="$res/resources.list"
if [ ! -f "$list" ]; then
  bad "no res/resources.list"
else
  while read -r type id file; do
    case "$type" in ''|'#'*|STRING) continue ;; esac
    if [ -f "$res/$file" ]; then ok; else bad "resources.list: $type $id names a missing file $file"; fi
  done <"$list"
  while read -r id _; do
    [ -n "$id" ] || continue
    n=$(grep -cE "^PNG[[:space:]]+$id[[:space:]]" "$list")
    if [ "$n" = 1 ]; then ok; else bad "resources.list: PNG $id listed $n times"; fi
  done <<<"$expected"
fi

while read -r id format w h background; do
  [ -n "$id" ] || continue
  file="$res/images/$id.png"
  [ "$format" = JPEG ] && file="$res/images/$id.jpg"
  if [ ! -f "$file" ]; then bad "$id: no file"; continue; fi
  got=$(identify -format '%m %w %h' "$file" 2>/dev/null)
  if [ "$got" = "$format $w $h" ]; then ok; else bad "$id: '$got', expected '$format $w $h'"; fi
  corner=$(convert "$file" -alpha on -format '%[fx:p{0,0}.a]' info: 2>/dev/null)
  if [ "$background" = transparent ]; then
    if [ "$corner" = 0 ]; then ok; else bad "$id: corner alpha $corner, expected a transparent background"; fi
  else
    if [ "$corner" = 1 ]; then ok; else bad "$id: corner alpha $corner, expected opaque"; fi
  fi
done <<<"$expected"

sizes=$(identify -format '%w ' "$res/icon.ico" 2>/dev/null)
if [ "$sizes" = "16 24 32 48 256 " ]; then ok; else bad "icon.ico sizes '$sizes', expected 16 24 32 48 256"; fi

qr="$res/images/129.jpg"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for size in 750x750 359x350; do
  convert "$qr" -sample "$size!" "$work/qr.png"   # nearest neighbour, as the program draws
  got=$(zbarimg -q --raw "$work/qr.png" 2>/dev/null)
  if [ "$got" = "$url" ]; then ok; else bad "129 at $size reads '$got', expected '$url'"; fi
done

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
