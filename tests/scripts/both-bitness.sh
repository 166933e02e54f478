#!/bin/sh
# Both builds of Kestrel and TowerLink registered in one WoW64 prefix, as on a 64-bit Windows
# with 32-bit and 64-bit hosts: unregistering either build leaves the other creating and calling
# from its own script host, and unregistering both leaves nothing of ours in the registry.
# Usage: both-bitness.sh X64_BINDIR I686_BINDIR PREFIX
# The exit code is the number of failed checks.
root=$(cd "$(dirname "$0")/../.." && pwd)
x64=$1 x86=$2 prefix=$3
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= \
  TOWERLINK_PORT=VIRTUAL
rm -rf "$prefix"
mkdir -p "$prefix"
trap 'wineserver -k 2>/dev/null; wineserver -w 2>/dev/null' EXIT
wineserver -p 30 </dev/null >/dev/null 2>&1
wineboot --init </dev/null >/dev/null 2>&1

failed=0
# check [!] WHAT COMMAND...: the command must succeed; after "!", it must fail.
check() {
  fails=0
  [ "$1" = "!" ] && { fails=1; shift; }
  what=$1
  shift
  "$@" </dev/null >/dev/null 2>&1
  if [ $(($? != 0)) -eq $fails ]; then echo "ok   $what"; else
    echo "FAIL $what"
    failed=$((failed + 1))
  fi
}

# register BINDIR [/u]
register() {
  for dll in Kestrel.ocx TowerLink.dll; do wine regsvr32 /s ${2:+"$2"} "$1/$dll" || return 1; done
}
probe=$(winepath -w "$root/tests/scripts/create-and-call.vbs")
# In a WoW64 prefix plain "wine cscript" is the 32-bit script host.
host32() { wine cscript //nologo "$probe" | grep -q "answered True"; }
host64() { /usr/lib/wine/wine64 cscript //nologo "$probe" | grep -q "answered True"; }

check "the x64 build registers" register "$x64"
check "the x86 build registers" register "$x86"
check "the 64-bit host creates and calls" host64
check "the 32-bit host creates and calls" host32

check "the x64 build unregisters" register "$x64" /u
check "the 32-bit host still creates and calls" host32
check ! "the 64-bit host no longer creates" host64

check "the x64 build registers again" register "$x64"
check "the x86 build unregisters" register "$x86" /u
check "the 64-bit host still creates and calls" host64
check ! "the 32-bit host no longer creates" host32

# The user's classes key is not ours: unregistering must not create it.
wine reg delete 'HKCU\Software\Classes' /f </dev/null >/dev/null 2>&1
check "the x64 build unregisters last" register "$x64" /u
check ! "no HKCU\\Software\\Classes is created" wine reg query 'HKCU\Software\Classes'

# Every identifier of our libraries, the ProgIDs too, in both registry views.
names=$(grep -ho 'uuid([0-9A-Fa-f-]*)' "$root/control/kestrel.idl" "$root"/link/com/*.idl |
  sed 's/uuid(\(.*\))/\1/' | sort -u | tr '\n' '|')
names="${names}kestrel\\.RcxPilot|TowerLink\\.BrickLink"
for view in 64 32; do
  wine reg export 'HKLM\Software\Classes' "C:\\classes$view.reg" /reg:$view /y </dev/null \
    >/dev/null 2>&1
  left=$(iconv -f UTF-16 -t UTF-8 "$prefix/drive_c/classes$view.reg" | grep -i -E "$names")
  if [ -z "$left" ]; then echo "ok   nothing of ours is left in the $view-bit view"; else
    echo "FAIL left in the $view-bit view:"
    echo "$left" | head -20
    failed=$((failed + 1))
  fi
done

echo "both-bitness registration: $failed failed"
exit $failed
