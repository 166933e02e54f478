#!/bin/sh
# Installs everything the build, the tests and the main job need on Debian 12, once.
set -e
packages="cmake ninja-build g++ libgtest-dev clang libclang-rt-14-dev clang-format
g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools libwine-dev
wine wine64 wine32:i386 fonts-wine xvfb xauth x11-apps x11-utils imagemagick
msitools wixl python3 nqc brickos"

missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
echo "installing:$missing"
# wine32 needs the i386 architecture.
$sudo dpkg --add-architecture i386
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
