#!/bin/sh
# Registers the libraries with regsvr32 in a scratch 64-bit Wine prefix, as an administrator
# would after copying them to their installed folders, and exports the registry before and after
# each run. The packages' registry records are generated from these exports (registry_wxs.py);
# the tests compare an installed package with what they show.
# Usage: capture-registration.sh PREFIX OUTDIR X64_BINDIR X86_BINDIR
set -e
prefix=$1 out=$2 bin64=$3 bin32=$4
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$prefix"
mkdir -p "$prefix" "$out"
wineboot --init </dev/null >/dev/null 2>&1
wine64=/usr/lib/wine/wine64
[ -x $wine64 ] || wine64=wine

dir64="$prefix/drive_c/Program Files/Kestrel"
dir32="$prefix/drive_c/Program Files (x86)/Kestrel"
mkdir -p "$dir64" "$dir32"
for lib in Kestrel.ocx TowerLink.dll; do
  cp "$bin64/$lib" "$dir64/"
  cp "$bin32/$lib" "$dir32/"
done

# snapshot N: both registry views of the classes after step N. A 32-bit registration writes to
# the 64-bit view too (the type library's interfaces are registered in both), and the other way
# round, so every step is seen through both.
snapshot() {
  for view in 32 64; do
    wine reg export 'HKLM\Software\Classes' "$(winepath -w "$out/$view-$1.reg")" /reg:$view /y \
      >/dev/null
  done
}

# The 32-bit libraries first: their records are then complete, also in the keys both views
# share (ProgIDs, type libraries), which the x86 package alone must write too.
snapshot 0
wine 'C:\windows\syswow64\regsvr32.exe' /s 'C:\Program Files (x86)\Kestrel\Kestrel.ocx' </dev/null
snapshot 1
wine 'C:\windows\syswow64\regsvr32.exe' /s 'C:\Program Files (x86)\Kestrel\TowerLink.dll' </dev/null
snapshot 2
$wine64 'C:\windows\system32\regsvr32.exe' /s 'C:\Program Files\Kestrel\Kestrel.ocx' </dev/null
snapshot 3
$wine64 'C:\windows\system32\regsvr32.exe' /s 'C:\Program Files\Kestrel\TowerLink.dll' </dev/null
snapshot 4
wineserver -k
