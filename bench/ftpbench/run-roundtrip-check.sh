#!/bin/bash
# A large file's round trip, byte for byte, in passive and active mode: ftpbench downloads it from a
# loopback pyftpdlib and uploads it back in the 255-byte pieces the upload command hands over,
# and both copies are compared with the original; the rates are printed. Moved out of the test
# suite: it measures more than it tests, and it is the one place a 50 MiB file is needed.
# Needs python3-pyftpdlib (no root) and a built ftpbench:
#   bench/ftpbench/run-roundtrip-check.sh [path/to/ftpbench] [size-in-MiB]
set -euo pipefail

FTPBENCH=${1:-${FTPBENCH:-$(dirname "$0")/../../build/bin/ftpbench}}
SIZE_MIB=${2:-50}
PYTHON=${PYTHON:-/usr/bin/python3}

[ -x "$FTPBENCH" ] || { echo "run-roundtrip-check.sh: no ftpbench at $FTPBENCH" >&2; exit 2; }
"$PYTHON" -c 'import pyftpdlib' 2>/dev/null || { echo "run-roundtrip-check.sh: pyftpdlib is not installed" >&2; exit 2; }

. "$(dirname "$0")/vsftpd-common.sh" # bench_workdir, free_port
bench_workdir "${TMPDIR:-/tmp}" roundtrip
SERVER=
trap '[ -z "$SERVER" ] || kill "$SERVER" 2>/dev/null; bench_cleanup' EXIT
mkdir -p "$WORK/root" "$WORK/local"
head -c $((SIZE_MIB * 1024 * 1024)) /dev/urandom >"$WORK/original.bin"
cp "$WORK/original.bin" "$WORK/root/big.bin"

PORT=$(free_port)
"$PYTHON" -m pyftpdlib -i 127.0.0.1 -p "$PORT" -w -d "$WORK/root" -u tester -P secret >"$WORK/server.log" 2>&1 &
SERVER=$!
for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && break
    sleep 0.1
done

status=0
for mode in passive active; do
    options=(--tls off)
    [ "$mode" = passive ] && options+=(--passive)
    rm -f "$WORK/local/got.bin" "$WORK/root/back.bin"
    failed() { echo "$mode: ftpbench $1 failed: $(cat "$WORK/ftpbench.err")" >&2; exit 1; }
    get=$("$FTPBENCH" "${options[@]}" 127.0.0.1 "$PORT" tester secret get big.bin "$WORK/local/got.bin" \
          2>"$WORK/ftpbench.err") || failed get
    put=$("$FTPBENCH" "${options[@]}" --piece 255 127.0.0.1 "$PORT" tester secret put "$WORK/local/got.bin" back.bin binary \
          2>"$WORK/ftpbench.err") || failed put
    result=same
    cmp -s "$WORK/local/got.bin" "$WORK/original.bin" || { result="download differs"; status=1; }
    cmp -s "$WORK/root/back.bin" "$WORK/original.bin" || { result="$result, upload differs"; status=1; }
    echo "$mode: $result; get $get; put $put"
done
exit $status
