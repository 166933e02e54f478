#!/bin/sh
# Program download benchmark: the same NQC image put on the paced pseudo-terminal brick (2400
# baud, serial tower's echo) by NQC (`nqc -d`) and by `towerlink download`, each timed from start
# to exit, and towerlink's time against the wire time of every byte that crossed the line for it
# (requests and replies; the echo travels at the same time as the request).
# Usage: program-bench.sh TOWERLINK NQC-SOURCE
tool=$1 source=$2
work=$(mktemp -d)
trap 'pty_brick_stop; rm -rf "$work"' EXIT
nqc -TRCX2 -O"$work/program.rcx" "$source" || exit 1

. "$(dirname "$0")/../../scripts/pty-brick.sh"
pty_brick "$tool" || exit 1
start=$(date +%s.%N)
nqc -S"$terminal" -d "$work/program.rcx" || exit 1
nqc_end=$(date +%s.%N)
"$tool" download --port "$terminal" --trace "$work/program.rcx" 2>"$work/trace"
status=$?
end=$(date +%s.%N)
awk -v start="$start" -v mid="$nqc_end" -v end="$end" -v status="$status" '
    /^RX / { rx += NF - 1 }
    /^TX / { tx += NF - 1; packets++ }
    END {
        wire = rx * 11 / 2400
        nqc = mid - start
        took = end - mid
        printf "exit %d: %d requests, %d bytes sent, %d bytes heard (echo included)\n", status, packets, tx, rx
        printf "nqc %.2f s, towerlink %.2f s (%.3f of nqc), wire time %.2f s (ratio %.3f)\n", nqc, took, took / nqc, wire, took / wire
    }' "$work/trace"
exit $status
