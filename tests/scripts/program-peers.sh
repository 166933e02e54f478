#!/bin/sh
# The open-source peers against the virtual brick on a paced pseudo-terminal, as a user would run
# them: NQC compiles the test programs; NQC's download and towerlink's download of the same image
# leave the same chunks in the brick, byte for byte (NQC into program 1, towerlink into program 2
# of one brick, whose chunks it lists when it stops); brickOS's firmdl3 and NQC's firmware
# download leave a brick that answers as ready.
# Usage: program-peers.sh TOWERLINK PROGRAMS-DIR
# Exits 77 (skipped) when nqc or firmdl3 is not installed (scripts/setup.sh installs both).
tool=$1 programs=$2
for peer in nqc firmdl3; do
  if ! command -v $peer >/dev/null; then
    echo "$peer is not installed: peers skipped"
    exit 77
  fi
done
srec=/usr/lib/brickos/brickOS.srec
here=$(dirname "$0")
. "$here/../../scripts/pty-brick.sh"
work=$(mktemp -d)
trap 'kill "$server" 2>/dev/null; rm -rf "$work" "$served"' EXIT
failed=0
fail() {
  echo "FAILED: $*"
  failed=1
}

# Stops the brick and leaves what it printed (the terminal, then its chunks) in $work/shown.
stop_brick() {
  kill "$server"
  wait "$server"
  cp "$served" "$work/shown"
  rm -f "$served"
}

for name in touch tasks long; do
  nqc -TRCX2 -O"$work/$name.rcx" "$programs/$name.nqc" || fail "nqc cannot compile $name.nqc"
  pty_brick "$tool" --show-programs || exit 1
  nqc -S"$terminal" -d "$work/$name.rcx" || fail "nqc -d $name.rcx"
  "$tool" download --port "$terminal" --slot 2 --quiet "$work/$name.rcx" 2>"$work/err" ||
    fail "towerlink download $name.rcx: $(cat "$work/err")"
  stop_brick
  sed -n 's/^program 1 //p' "$work/shown" >"$work/nqc"
  sed -n 's/^program 2 //p' "$work/shown" >"$work/towerlink"
  if [ ! -s "$work/nqc" ] || ! cmp -s "$work/nqc" "$work/towerlink"; then
    fail "$name: NQC's and towerlink's chunks differ"
    cat "$work/shown"
  fi
  echo "$name: NQC and towerlink stored the same $(wc -l <"$work/nqc") chunk(s)"
done

# Firmware from the peers: firmdl3 numbers its last block like the others, NQC uses 0. Both
# also work at line pace, where each takes two minutes; unpaced the test stays short.
if [ -r "$srec" ]; then
  for how in "firmdl3 --slow --tty=TERMINAL $srec" "nqc -STERMINAL -firmware $srec"; do
    pty_brick "$tool" --unpaced --no-firmware || exit 1
    run=$(echo "$how" | sed "s|TERMINAL|$terminal|")
    $run >"$work/err" 2>&1 || { fail "$run"; cat "$work/err"; }
    state=$("$tool" status --port "$terminal")
    [ "$state" = ready ] || fail "after $run the brick is $state"
    echo "$run: brick $state"
    stop_brick
  done
else
  fail "$srec is missing (scripts/setup.sh installs brickos)"
fi
exit $failed
