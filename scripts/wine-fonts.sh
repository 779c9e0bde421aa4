#!/usr/bin/env bash
# Gives the Wine prefix in WINEPREFIX the skin's Chinese UI face: "微软雅黑" and
# "Microsoft YaHei" are replaced by WenQuanYi Micro Hei (fonts-wqy-microhei), so CJK text
# draws real glyphs. The registry file is UTF-16, so the names survive any host locale.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
{
  printf '\xff\xfe'
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"微软雅黑"="WenQuanYi Micro Hei"' \
    '"Microsoft YaHei"="WenQuanYi Micro Hei"' '' | iconv -f UTF-8 -t UTF-16LE
} >"$reg"
wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1
wineserver -w
