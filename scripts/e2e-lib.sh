#!/usr/bin/env bash
# Helpers for driving rundix.exe under Wine on an X display like a user: windows found by
# title and size, clicks, screenshots, pixel checks. Sourced by scripts/e2e.sh, scripts/run.sh
# and scripts/bench.sh. Expects E2E_ART (the screenshot folder) to be set.

E2E_FAILURES=${E2E_FAILURES:-0}
E2E_CHECKS=${E2E_CHECKS:-0}

e2e_log() { printf 'e2e %s  %s\n' "$(date +%H:%M:%S)" "$*"; }

e2e_fail() {
  E2E_FAILURES=$((E2E_FAILURES + 1))
  printf 'e2e %s  FAIL: %s\n' "$(date +%H:%M:%S)" "$*" >&2
}

# e2e_check DESCRIPTION COMMAND...: one counted check.
e2e_check() {
  local what=$1
  shift
  E2E_CHECKS=$((E2E_CHECKS + 1))
  if "$@"; then
    e2e_log "ok: $what"
    return 0
  fi
  e2e_fail "$what"
  return 1
}

# e2e_wait SECONDS COMMAND...: polls the command every half second until it succeeds.
e2e_wait() {
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  while ((SECONDS < end)); do
    "$@" && return 0
    sleep 0.5
  done
  "$@"
}

# Visible top-level windows titled exactly TITLE with the size WxH, newest last.
e2e_windows_sized() {
  local title=$1 size=$2 id
  for id in $(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null); do
    if [ "$(xdotool getwindowgeometry "$id" 2>/dev/null | awk '/Geometry:/ {print $2}')" = "$size" ]; then
      echo "$id"
    fi
  done
}

# e2e_find_window TITLE WxH SECONDS: prints the window's id once it is shown.
e2e_find_window() {
  local title=$1 size=$2 limit=$3 end=$((SECONDS + $3)) id
  while ((SECONDS < end)); do
    id=$(e2e_windows_sized "$title" "$size" | tail -n1)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.3
  done
  return 1
}

e2e_window_gone() { [ -z "$(e2e_windows_sized "$1" "$2")" ]; }

# e2e_shot NAME WINDOW: the window's pixels as E2E_ART/NAME.png.
e2e_shot() {
  import -silent -window "$2" "$E2E_ART/$1.png" 2>/dev/null
}

e2e_click() {  # WINDOW X Y, window coordinates
  xdotool mousemove --window "$1" "$2" "$3" click 1
  sleep 0.3
}

# e2e_pixel FILE X Y: the pixel as RRGGBB.
e2e_pixel() {
  convert "$1" -format "%[hex:p{$2,$3}]" info: 2>/dev/null | cut -c1-6
}

# e2e_near RRGGBB RRGGBB [TOLERANCE]: equal within a per-channel tolerance (default 24).
e2e_near() {
  local a=$1 b=$2 tol=${3:-24} i
  [ ${#a} -eq 6 ] && [ ${#b} -eq 6 ] || return 1
  for i in 0 2 4; do
    local d=$((16#${a:i:2} - 16#${b:i:2}))
    ((d < 0)) && d=$((-d))
    ((d <= tol)) || return 1
  done
}

# e2e_count FILE WxH+X+Y RRGGBB: how many pixels of the region have every channel within 10%
# of the colour's.
e2e_count() {
  convert "$1" -crop "$2" +repage \( +clone -fill "#$3" -colorize 100 \) -compose difference -composite \
    -separate -evaluate-sequence max -threshold 10% -negate -format '%[fx:round(mean*w*h)]' info: 2>/dev/null
}

# A pixel check on a screenshot; a failing capture is kept beside it as NAME_err.png with the
# point marked.
e2e_expect_pixel() {  # NAME X Y RRGGBB WHAT
  local file=$E2E_ART/$1.png got
  got=$(e2e_pixel "$file" "$2" "$3")
  E2E_CHECKS=$((E2E_CHECKS + 1))
  if e2e_near "$got" "$4"; then
    e2e_log "ok: $5 (#$got at $2,$3 of $1)"
    return 0
  fi
  e2e_fail "$5: #${got:-none} at $2,$3 of $1.png, expected #$4"
  convert "$file" -fill none -stroke red -draw "rectangle $(($2 - 4)),$(($3 - 4)) $(($2 + 4)),$(($3 + 4))" \
    "$E2E_ART/$1_err.png" 2>/dev/null
  return 1
}

# At least MIN (and, when given, at most MAX) pixels of the colour in the region.
e2e_expect_count() {  # NAME WxH+X+Y RRGGBB MIN MAX WHAT
  local file=$E2E_ART/$1.png n
  n=$(e2e_count "$file" "$2" "$3")
  E2E_CHECKS=$((E2E_CHECKS + 1))
  if [ -n "$n" ] && ((n >= $4)) && { [ -z "$5" ] || ((n <= $5)); }; then
    e2e_log "ok: $6 ($n pixels of #$3 in $2 of $1)"
    return 0
  fi
  e2e_fail "$6: ${n:-no} pixels of #$3 in $2 of $1.png, expected ${4}..${5:-}"
  local g=${2#*+}
  local w=${2%%x*} h=${2#*x}
  h=${h%%+*}
  local x=${g%%+*} y=${g#*+}
  convert "$file" -fill none -stroke red -draw "rectangle $x,$y $((x + w)),$((y + h))" "$E2E_ART/$1_err.png" 2>/dev/null
  return 1
}

# Waits until a fresh screenshot of the window has the colour at the point.
e2e_wait_pixel() {  # NAME WINDOW X Y RRGGBB SECONDS
  local end=$((SECONDS + $6))
  while ((SECONDS < end)); do
    e2e_shot "$1" "$2"
    e2e_near "$(e2e_pixel "$E2E_ART/$1.png" "$3" "$4")" "$5" && return 0
    sleep 0.5
  done
  e2e_shot "$1" "$2"
  e2e_near "$(e2e_pixel "$E2E_ART/$1.png" "$3" "$4")" "$5"
}

# A free TCP port on loopback?
e2e_port_free() {
  ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# e2e_start_server OUT_FILE ARGS...: starts rundix-server and waits for its first line (the
# port). Sets E2E_SERVER_PID.
e2e_start_server() {
  local out=$1
  shift
  setsid "$@" </dev/null >"$out" 2>"$out.err" &
  E2E_SERVER_PID=$!
  local i
  for i in $(seq 1 100); do
    [ -s "$out" ] && return 0
    kill -0 "$E2E_SERVER_PID" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
