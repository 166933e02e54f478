#!/bin/sh
# Installs, uses, compares and removes a Kestrel package under Wine, one step per ctest entry;
# the steps share the prefix named by WINEPREFIX and its recorded states beside it.
# Usage: package-test.sh STEP ARGS...
#   install PACKAGE             a fresh prefix, its clean state recorded, the package installed
#   clients                     the script client under each script host of the prefix
#   console FOLDER              TestKestrel starts from its installed folder with no tower there
#   registry CAPTURE            the installed records equal what regsvr32 wrote in CAPTURE
#   remove PACKAGE [OLDER VERSION]  a second install is harmless, uninstall leaves the clean
#                               state, and installing PACKAGE over OLDER leaves one installation
here=$(cd "$(dirname "$0")" && pwd)
state="$WINEPREFIX.state"
step=$1
shift
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

fail() {
  echo "FAIL: $*"
  exit 1
}

views() {
  if [ -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then echo 32 64; else echo 32; fi
}

# snapshot NAME: both registry views of the classes and our places in the file system.
snapshot() {
  for view in $(views); do
    wine reg export 'HKLM\Software\Classes' "$(winepath -w "$state/$1-$view.reg")" /reg:$view /y \
      >/dev/null || fail "reg export"
  done
  (cd "$WINEPREFIX/drive_c" &&
    find "Program Files" "Program Files (x86)" ProgramData users/*/AppData/Roaming/Microsoft/Windows \
      2>/dev/null
    find windows/Installer -mindepth 1 2>/dev/null) | sort >"$state/$1-files"
}

# same_as NAME [--without-installer]: the prefix is as it was recorded under NAME.
same_as() {
  snapshot now
  for view in $(views); do
    python3 "$here/regdiff.py" $2 "$state/$1-$view.reg" "$state/now-$view.reg" >"$state/diff"
    [ -s "$state/diff" ] && { head -40 "$state/diff"; fail "$view-bit registry differs from '$1'"; }
  done
  # Where Windows Installer caches a package is its own record too.
  pattern='^$'
  [ -n "$2" ] && pattern='^windows/Installer/'
  grep -v "$pattern" "$state/$1-files" >"$state/files-then"
  grep -v "$pattern" "$state/now-files" >"$state/files-now"
  diff "$state/files-then" "$state/files-now" || fail "files differ from '$1'"
}

installed() {  # installed PATH: a path under drive_c (a pattern) the package put in place
  grep -qx "$1" "$state/installed-files" || fail "not installed: $1"
}

msiexec() {  # msiexec /i|/x PACKAGE
  wine msiexec "$1" "$(winepath -w "$2")" /qn </dev/null >/dev/null 2>&1 ||
    fail "msiexec $1 $(basename "$2") exited with $?"
}

products() {  # the installed Kestrel products' versions, one a line
  for view in $(views); do
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:$view 2>/dev/null
  done | tr -d '\r' | awk '/^HKEY/ { key = $0; name = ""; version = "" }
    /DisplayName +REG_SZ/ { name = $0; sub(/.*REG_SZ +/, "", name) }
    /DisplayVersion +REG_SZ/ { version = $3 }
    name == "Kestrel" && version != "" { print key, version; name = "" }' |
    sort -u | awk '{ print $NF }'
}

script_hosts() {  # launcher:folder of each script host
  if [ -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
    echo /usr/lib/wine/wine64:system32 wine:syswow64
  else
    echo wine:system32
  fi
}

case $step in
install)
  rm -rf "$WINEPREFIX" "$state"
  mkdir -p "$WINEPREFIX" "$state"
  wineserver -k 2>/dev/null
  wineserver -p 60 </dev/null >/dev/null 2>&1
  wineboot --init </dev/null >/dev/null 2>&1 || fail "wineboot"
  # The script hosts register their own type library when they first run: let them do it
  # before the clean state is recorded.
  : >"$state/empty.vbs"
  for host in $(script_hosts); do
    ${host%:*} "C:\\windows\\${host#*:}\\cscript.exe" //nologo "$(winepath -w "$state/empty.vbs")" \
      </dev/null >/dev/null 2>&1
  done
  snapshot clean
  msiexec /i "$1"
  snapshot installed
  [ -n "$(products)" ] || fail "no Kestrel among the installed products"
  for file in Kestrel.ocx TowerLink.dll TestKestrel.exe README.txt LICENSE.txt \
    TowerLink-errors.html; do
    installed "Program Files/Kestrel/$file"
  done
  if [ "$(views)" != 32 ]; then
    installed "Program Files (x86)/Kestrel/Kestrel.ocx"
    installed "Program Files (x86)/Kestrel/TowerLink.dll"
  fi
  installed ".*/Start Menu/Programs/Kestrel/TestKestrel.lnk"
  ;;
clients)
  cat "$here/../scripts/check.vbs" "$here/installed-pilot.vbs" >"$state/installed-pilot.vbs"
  for host in $(script_hosts); do
    echo "== ${host#*:} cscript"
    TOWERLINK_PORT=VIRTUAL ${host%:*} "C:\\windows\\${host#*:}\\cscript.exe" //nologo \
      "$(winepath -w "$state/installed-pilot.vbs")" </dev/null >"$state/client" 2>&1
    status=$?
    tr -d '\r' <"$state/client"
    [ $status -eq 0 ] || fail "the ${host#*:} script client"
  done
  ;;
console)
  [ -n "$DISPLAY" ] || { echo "no display"; exit 77; }
  # No tower and no port chosen: the console must still open, and open alone, without the
  # error box (titled like the form) that a missing control brings.
  env -u TOWERLINK_PORT wine "$1\\TestKestrel.exe" </dev/null >/dev/null 2>&1 &
  console=$!
  . "$here/../../scripts/display.sh"
  windows=$(kestrel_windows_titled TestProgram)
  wine taskkill /f /im TestKestrel.exe >/dev/null 2>&1 || kill $console 2>/dev/null
  [ "$windows" -eq 1 ] || fail "TestKestrel showed $windows windows titled TestProgram, not 1"
  ;;
registry)
  for view in $(views); do
    python3 "$here/regdiff.py" --without-installer "$1/$view-0.reg" "$1/$view-4.reg" \
      >"$state/regsvr32-$view"
    python3 "$here/regdiff.py" --without-installer "$state/clean-$view.reg" \
      "$state/installed-$view.reg" >"$state/package-$view"
    [ -s "$state/regsvr32-$view" ] || fail "regsvr32 wrote nothing in the $view-bit view"
    diff "$state/regsvr32-$view" "$state/package-$view" ||
      fail "the package's $view-bit records differ from regsvr32's (< regsvr32, > package)"
  done
  ;;
remove)
  trap 'wineserver -k 2>/dev/null' EXIT
  msiexec /i "$1"
  same_as installed --without-installer
  msiexec /x "$1"
  same_as clean
  [ -z "$(products)" ] || fail "still listed as installed: $(products)"
  if [ -n "$2" ]; then
    msiexec /i "$2"
    msiexec /i "$1"
    [ "$(products)" = "$3" ] || fail "installed after the upgrade: $(products | tr '\n' ' ')"
    same_as installed --without-installer
    msiexec /x "$1"
    same_as clean
  fi
  ;;
*)
  fail "unknown step $step"
  ;;
esac
