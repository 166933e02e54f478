#!/bin/sh
# Runs a Windows program under Wine for ctest. Output goes through a file: processes that Wine
# starts on the way (the desktop, services) would otherwise hold ctest's pipe open after the
# program has ended.
log=$(mktemp)
wine "$@" >"$log" 2>&1 </dev/null
status=$?
cat "$log"
rm -f "$log"
exit $status
