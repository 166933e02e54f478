#!/bin/sh
# Runs one script client under Wine's cscript after registering the given DLLs in the prefix,
# as a user would with regsvr32. The script's exit code is its number of failed checks.
# Usage: run-script.sh SCRIPT [DLL...]
script=$1
shift
for dll in "$@"; do
  wine regsvr32 /s "$dll" </dev/null >/dev/null 2>&1 || { echo "regsvr32 $dll failed"; exit 1; }
done
# In a 64-bit prefix plain "wine cscript" starts the 32-bit script host, which cannot load the
# x64 libraries registered there: start the 64-bit one.
host=wine
if [ -d "$WINEPREFIX/drive_c/windows/syswow64" ] && [ -x /usr/lib/wine/wine64 ]; then
  host=/usr/lib/wine/wine64
fi
log=$(mktemp)
# A VBScript client runs after the shared check routine, in one file as cscript wants it.
case $script in
*.vbs)
  client=$(mktemp --suffix=.vbs)
  cat "$(dirname "$0")/check.vbs" "$script" >"$client"
  script=$client
  ;;
esac
$host cscript //nologo "$(winepath -w "$script")" >"$log" 2>&1 </dev/null
status=$?
tr -d '\r' <"$log"
# Wine's script host ends with 0 even when a script error stops the client: only a client that
# reached its closing count with no failure has passed.
if [ $status = 0 ] && ! tr -d '\r' <"$log" | grep -Eq '^[0-9]+ passed, 0 failed$'; then
  echo "the script stopped before its closing count"
  status=1
fi
rm -f "$log" ${client:+"$client"}
exit $status
