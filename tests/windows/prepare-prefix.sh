#!/bin/sh
# Makes a private Wine prefix for one test run and registers the built components in it.
# Usage: prepare-prefix.sh PREFIX PROCESSOR BINDIR
set -e
prefix=$1 processor=$2 bindir=$3
rm -rf "$prefix"
mkdir -p "$prefix"
if [ "$processor" = i686 ]; then export WINEARCH=win32; else export WINEARCH=win64; fi
export WINEPREFIX="$prefix"
# Keep the server warm between the test executables of this run.
wineserver -k 2>/dev/null || true
wineserver -p 30 </dev/null >/dev/null 2>&1
wineboot --init </dev/null >/dev/null 2>&1
"$(dirname "$0")/../../scripts/wine-fonts.sh" "$prefix"
echo "prefix $prefix ready ($WINEARCH)"
