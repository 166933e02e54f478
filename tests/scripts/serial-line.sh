#!/bin/sh
# Runs a script client against a virtual brick behind a real serial line: the native towerlink
# tool serves the brick on a pseudo-terminal, paced at 2400 baud, and the Wine prefix's COM5 is
# pointed at that terminal, so every call goes through TowerLink's Win32 serial code and Wine's
# serial driver, echo included. The script runs with TOWERLINK_PORT=COM5 through run-script.sh.
# Usage: serial-line.sh TOOL NOISE SCRIPT [DLL...]
#   NOISE: percent of the bytes that arrive damaged, either way (0 for a clean line); the
#   script is told through TOWERLINK_NOISY_LINE=1 that calls may fail with a clear error.
# Exits 77 (skipped) when TOOL is empty: the native build is not part of this run.
tool=$1 noise=$2 script=$3
shift 3
if [ -z "$tool" ]; then
  echo "KESTREL_TOWERLINK_TOOL is not set: no native towerlink tool, serial line skipped"
  exit 77
fi
here=$(dirname "$0")
. "$here/../../scripts/pty-brick.sh"
noisy=1
[ "$noise" = 0 ] && noisy=0
pty_brick "$tool" --noise "$noise" || { pty_brick_stop; exit 1; }
echo "virtual brick on $terminal (noise $noise%) as COM5"
device="$WINEPREFIX/dosdevices/com5"
ln -sfn "$terminal" "$device"
TOWERLINK_PORT=COM5 TOWERLINK_NOISY_LINE=$noisy "$here/run-script.sh" "$script" "$@"
status=$?
rm -f "$device"
pty_brick_stop
exit $status
