#!/usr/bin/env bash
# Installs everything both builds and their tests need on a fresh Debian 12 machine.
# Safe to run again: installed packages and fetched sources are left as they are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/.deps"
stamp="$deps/setup.stamp"
version=8   # bump when the package lists below change

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && [ -x /usr/lib/wine/wine64 ] \
   && command -v i686-w64-mingw32-g++-posix >/dev/null; then
  exit 0
fi

export DEBIAN_FRONTEND=noninteractive
sudo=""; [ "$(id -u)" = 0 ] || sudo="sudo"

# Source entries for `apt-get source`, derived from the binary entries already configured.
if [ ! -f /etc/apt/sources.list.d/rundix-deb-src.sources ] && [ -f /etc/apt/sources.list.d/debian.sources ]; then
  sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
    | $sudo tee /etc/apt/sources.list.d/rundix-deb-src.sources >/dev/null
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq

$sudo apt-get install -y -qq --no-install-recommends \
  build-essential cmake ninja-build pkg-config dpkg-dev ca-certificates curl \
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix libz-mingw-w64-dev \
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix \
  libtinyxml-dev libjsoncpp-dev zlib1g-dev libstb-dev libcurl4-openssl-dev libssl-dev \
  libcairo2-dev libfreetype-dev libfontconfig-dev fonts-wqy-microhei fonts-dejavu-core \
  googletest libgtest-dev libgmock-dev libbenchmark-dev \
  libcpp-httplib-dev libsqlite3-dev libqrencode-dev libpng-dev \
  xvfb xauth xdotool imagemagick python3 zbar-tools msitools wixl \
  clang-14 libclang-rt-14-dev >/dev/null
# Wine with both halves, so the Windows tests run the 32-bit program on a 64-bit Windows as
# most users have it. i386 libraries must match their amd64 twins exactly. Usually the plain
# install finds them; when the mirror's i386 security index lags behind amd64's, the release
# suite has what matches.
if ! $sudo apt-get install -y -qq wine wine32:i386 wine64 >/dev/null; then
  $sudo apt-get install -y -qq -t bookworm wine wine32:i386 wine64 >/dev/null
fi

# Sources compiled into the Windows build (Debian's patches applied).
mkdir -p "$deps/src"
cd "$deps/src"
for pkg in tinyxml libjsoncpp; do
  if ! ls -d "$pkg"-*/ >/dev/null 2>&1 && ! ls -d "${pkg#lib}"-*/ >/dev/null 2>&1; then
    apt-get source -qq "$pkg" >/dev/null 2>&1 || apt-get source "$pkg"
  fi
done
echo "$version" > "$stamp"
