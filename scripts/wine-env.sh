# Sourced by every script that runs Wine: which Windows build runs here and with which loader.
# Wine's 32-bit half needs a kernel that runs 32-bit code, and some virtual machines cannot.
# There the Windows tests are the 64-bit build (preset win64, the same sources) under Wine's
# 64-bit loader, and `wine` on the PATH is made to mean that loader. RUNDIX_WINDOWS_PRESET
# already set is kept.
if [ -z "${RUNDIX_WINDOWS_PRESET:-}" ]; then
  if [ ! -x /usr/lib/wine/wine ] || /usr/lib/wine/wine --version >/dev/null 2>&1; then
    RUNDIX_WINDOWS_PRESET=win32
  else
    RUNDIX_WINDOWS_PRESET=win64
  fi
fi
export RUNDIX_WINDOWS_PRESET
if [ "$RUNDIX_WINDOWS_PRESET" = win64 ] && [ -x /usr/lib/wine/wine64 ]; then
  rundix_wine_shim="${TMPDIR:-/tmp}/rundix-wine64-$(id -u)"
  mkdir -p "$rundix_wine_shim"
  # Scripts, not links: the loader finds its preloader beside the path it was started by.
  for rundix_name in wine wine-stable; do
    printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$rundix_wine_shim/$rundix_name"
    chmod +x "$rundix_wine_shim/$rundix_name"
  done
  case ":$PATH:" in
    *":$rundix_wine_shim:"*) ;;
    *) export PATH="$rundix_wine_shim:$PATH" ;;
  esac
  export WINELOADER=/usr/lib/wine/wine64
  unset rundix_name
fi
