#!/bin/sh
# The Windows towerlink.exe under Wine: status on the VIRTUAL port, the Windows usage, the
# default port kept in the registry, and a program download. One Wine run per step; the script's
# exit code is the number of failed checks. What the tool prints for a command is the same on
# every system and is checked on the native tool.
# With a third argument, the native tool, it instead downloads firmware over a real serial
# line: the native tool serves a brick without firmware on a paced pseudo-terminal that the
# prefix's COM6 points at; afterwards the same brick reports ready, and takes a program. Exits
# 77 (skipped) when that argument is given but empty.
# Usage: towerlink-exe.sh TOWERLINK_EXE FIRMWARE_FILE [NATIVE_TOOL]
if [ $# -ge 3 ] && [ -z "$3" ]; then
  echo "no native towerlink tool: serial line skipped"
  exit 77
fi
exe=$1
image=$(winepath -w "$2")
failed=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# check NAME EXPECTED_RC PATTERN COMMAND...: runs COMMAND; its whole output (both streams,
# without carriage returns) must match PATTERN, a Perl regex in which . also matches a newline.
check() {
  name=$1 rc=$2 pattern=$3
  shift 3
  "$@" >"$log" 2>&1 </dev/null
  status=$?
  if [ "$status" -ne "$rc" ] || ! tr -d '\r' <"$log" | grep -Pzq "(?s)\\A(?:$pattern)\\z"; then
    echo "FAILED $name: exit $status (expected $rc), output:"
    tr -d '\r' <"$log"
    failed=$((failed + 1))
  else
    echo "ok $name"
  fi
}

if [ $# -ge 3 ]; then
  . "$(dirname "$0")/../../scripts/pty-brick.sh"
  pty_brick "$3" --no-firmware
  trap 'kill $server 2>/dev/null; rm -f "$log" "$served" "$WINEPREFIX/dosdevices/com6"' EXIT
  ln -sfn "$terminal" "$WINEPREFIX/dosdevices/com6"
  check serial-no-firmware 1 'no firmware\n' wine "$exe" status --port COM6
  check serial-firmware 0 '.*progress 640/640 bytes \(100%\)\nfirmware 3\.28 runs\n' \
    wine "$exe" firmware --port COM6 "$image"
  check serial-ready 0 'ready\n' wine "$exe" status --port COM6
  # A program after it, which the same brick then lists in its memory map.
  if [ -n "$PROGRAM_IMAGE" ]; then
    check serial-download 0 '.*progress 28/28 bytes \(100%\)\n' \
      wine "$exe" download --port COM6 --slot 2 "$(winepath -w "$PROGRAM_IMAGE")"
    check serial-programs 0 'program 2 task 0: 26 bytes\nprogram 2 sub 0: 2 bytes\nfree: .*' \
      wine "$exe" programs --port COM6
  fi
  exit $failed
fi

check status 0 'ready\n' wine "$exe" status --port VIRTUAL
check help 0 'usage:.*towerlink port \[NAME\].*' wine "$exe" --help
check port-set 0 'USB2\n' env -u TOWERLINK_PORT wine "$exe" port usb2:
check port-registry 0 '.*Port +REG_SZ +USB2.*' wine reg query 'HKCU\Software\TowerLink' /v Port
check port-show 0 'USB2\n' env -u TOWERLINK_PORT wine "$exe" port
check port-bad 2 ".*unknown port 'LPT1'.*" wine "$exe" port LPT1
# The download command with the program NQC compiled at build time (PROGRAM_IMAGE, when nqc
# is installed): into a slot of the virtual brick and into its selected one; a slot that does
# not exist and a missing file are refused.
if [ -n "$PROGRAM_IMAGE" ]; then
  program=$(winepath -w "$PROGRAM_IMAGE")
  check download 0 '.*progress 28/28 bytes \(100%\)\n.*' \
    wine "$exe" download --port VIRTUAL --slot 2 "$program"
  check download-selected 0 '.*progress 28/28 bytes \(100%\)\n.*' \
    wine "$exe" download --port VIRTUAL --quiet "$program"
  check download-slot 2 '.*slot.*' wine "$exe" download --port VIRTUAL --slot 6 "$program"
  check download-missing 2 '.*missing\.rcx.*' wine "$exe" download --port VIRTUAL missing.rcx
fi
wine reg delete 'HKCU\Software\TowerLink' /v Port /f >/dev/null 2>&1 </dev/null
exit $failed
