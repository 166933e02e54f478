#!/bin/sh
# Firmware download benchmark: a 16 KB image over the paced pseudo-terminal brick (2400 baud,
# started without firmware), its time against the wire time of every byte that had to cross the
# line (requests and replies; the serial tower's echo travels at the same time as the request).
# Usage: firmware-bench.sh TOWERLINK [BYTES]
tool=$1
size=${2:-16384}
work=$(mktemp -d)
trap 'pty_brick_stop; rm -rf "$work"' EXIT

# A deterministic image in S1 records of 32 bytes, entry 0x8000.
awk -v size="$size" 'BEGIN {
    for (at = 0; at < size; at += 32) {
        n = size - at < 32 ? size - at : 32
        address = 32768 + at
        line = sprintf("S1%02X%04X", n + 3, address)
        sum = n + 3 + int(address / 256) + address % 256
        for (i = 0; i < n; i++) {
            b = (at + i) * 7 % 251
            line = line sprintf("%02X", b)
            sum += b
        }
        print line sprintf("%02X", 255 - sum % 256)
    }
    print "S90380007C"
}' >"$work/image.lgo"

. "$(dirname "$0")/../../scripts/pty-brick.sh"
pty_brick "$tool" --no-firmware || exit 1
start=$(date +%s.%N)
"$tool" firmware --port "$terminal" --trace "$work/image.lgo" >"$work/out" 2>"$work/trace"
status=$?
end=$(date +%s.%N)
cat "$work/out"
awk -v start="$start" -v end="$end" -v status="$status" '
    /^RX / { rx += NF - 1 }
    /^TX / { tx += NF - 1; packets++ }
    END {
        wire = rx * 11 / 2400
        took = end - start
        printf "exit %d: %d requests, %d bytes sent, %d bytes heard (echo included)\n", status, packets, tx, rx
        printf "time %.2f s, wire time %.2f s, ratio %.3f\n", took, wire, took / wire
    }' "$work/trace"
exit $status
