#!/bin/sh
# Times Onn through Kestrel and TowerLink over a real serial line: the native towerlink tool
# serves a virtual brick on a pseudo-terminal paced at 2400 baud, the Wine prefix's COM5 points
# at it, and TowerLinkBench calls Onn on COM5. Needs WINEPREFIX (an initialised prefix) and a
# display for the control's face window.
# Usage: serial-bench.sh TOOL BINDIR [CALLS]
tool=$1 bindir=$2 calls=${3:-50}
. "$(dirname "$0")/../../../scripts/pty-brick.sh"
pty_brick "$tool" || { pty_brick_stop; exit 1; }
ln -sfn "$terminal" "$WINEPREFIX/dosdevices/com5"
(cd "$bindir" && wine TowerLinkBench.exe COM5 "$calls")
status=$?
rm -f "$WINEPREFIX/dosdevices/com5"
pty_brick_stop
exit $status
