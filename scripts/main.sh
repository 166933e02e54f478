#!/bin/sh
# The main job: builds Kestrel, registers Kestrel.ocx and TowerLink.dll in a private Wine prefix
# and starts TestKestrel on the virtual brick. With a display it opens the window there; without
# one it runs under a private Xvfb, saves a screenshot to build/TestKestrel.png and closes.
# KESTREL_BUILD names another folder than build/ for the build, the prefix and the screenshot.
set -e
cd "$(dirname "$0")/.."
./scripts/setup.sh
headless=0
[ -z "$DISPLAY" ] && headless=1
. ./scripts/display.sh
. ./scripts/wine-bitness.sh

out=${KESTREL_BUILD:-build}
build=$out/win-x86_64
cmake -S . -B $build -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake >/dev/null
cmake --build $build -j2 --target Kestrel TowerLink TestKestrel

export WINEPREFIX="$(pwd)/$out/demo-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export TOWERLINK_PORT=VIRTUAL
if [ ! -d "$WINEPREFIX/drive_c" ]; then
  echo "making the Wine prefix $WINEPREFIX"
  WINEARCH=win64 wineboot --init </dev/null >/dev/null 2>&1
fi
./scripts/wine-fonts.sh "$WINEPREFIX"
# However the job ends, the prefix's server and services end with it.
kestrel_at_exit 'wineserver -k 2>/dev/null; wineserver -w 2>/dev/null'
wine regsvr32 /s "$build/bin/Kestrel.ocx"
wine regsvr32 /s "$build/bin/TowerLink.dll"
echo "Kestrel.ocx and TowerLink.dll registered; the brick is the virtual one (TOWERLINK_PORT=VIRTUAL)"

if [ $headless -eq 0 ]; then
  wine "$build/bin/TestKestrel.exe"
  exit 0
fi

wine "$build/bin/TestKestrel.exe" </dev/null >/dev/null 2>&1 &
console=$!
kestrel_windows_titled TestProgram >/dev/null || true
xwd -root -silent | convert xwd:- -trim "$out/TestKestrel.png"
echo "screenshot: $out/TestKestrel.png"
wine taskkill /f /im TestKestrel.exe >/dev/null 2>&1 || kill $console 2>/dev/null || true
