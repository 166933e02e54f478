#!/bin/sh
# Ends a test run's Wine prefix: its server and every process Wine started in it (the desktop,
# services.exe, winedevice.exe, plugplay.exe, svchost.exe), so that the run leaves nothing
# running, whether its tests passed or not.
# Usage: end-prefix.sh PREFIX
export WINEPREFIX="$1"
[ -d "$WINEPREFIX" ] || exit 0
wineserver -k 2>/dev/null
# -k only signals: wait until the server is gone.
wineserver -w 2>/dev/null
exit 0
