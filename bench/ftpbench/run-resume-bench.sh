#!/bin/bash
# Resume and automatic retry of `ftpbench download` and `ftpbench upload` on a local vsftpd, with
# the retry settings' defaults (2 retries, 5 s apart), through delayproxy, which resets one
# transfer once and counts the bytes the data connections carry:
#   - a 256 MiB download and a 256 MiB upload (SIZE_MIB) cut at 150 MiB (CUT_MIB), first with the
#     data connection reset, then with its control connection reset too: each must finish by
#     itself and arrive byte for byte, with at most the file + 8 MiB over all tries;
#   - a 1 GiB download (KILL_SIZE_MIB) whose ftpbench is killed at about 600 MiB (KILL_AT_MIB) and
#     started again with the same arguments: the second run may carry at most the rest + 8 MiB.
# Needs root (vsftpd runs from a temporary configuration) and built ftpbench and delayproxy:
#   sudo bench/ftpbench/run-resume-bench.sh [path/to/ftpbench [path/to/delayproxy]]
set -euo pipefail

FTPBENCH=${1:-${FTPBENCH:-$(dirname "$0")/../../build/bin/ftpbench}}
DELAYPROXY=${2:-$(dirname "$FTPBENCH")/delayproxy}
SIZE_MIB=${SIZE_MIB:-256}
CUT_MIB=${CUT_MIB:-150}
KILL_SIZE_MIB=${KILL_SIZE_MIB:-1024}
KILL_AT_MIB=${KILL_AT_MIB:-600}
MIB=$((1024 * 1024))
SLACK=$((8 * MIB))

BENCH_DIR=${BENCH_DIR:-/dev/shm}
[ -d "$BENCH_DIR" ] && [ -w "$BENCH_DIR" ] || BENCH_DIR=/tmp
. "$(dirname "$0")/vsftpd-common.sh"
bench_require
[ -x "$DELAYPROXY" ] || { echo "no delayproxy at $DELAYPROXY" >&2; exit 2; }
bench_workdir "$BENCH_DIR" resumebench
PROXY_PID=
trap 'stop_proxy; bench_cleanup' EXIT

# start_proxy OPTION...: a relay without delay in front of vsftpd; sets PROXY_PORT.
start_proxy() {
    : > "$WORK/proxy.out"
    "$DELAYPROXY" --ftp "$@" 0 127.0.0.1 "$PORT" 0 >"$WORK/proxy.out" 2>>"$WORK/proxy.err" &
    PROXY_PID=$!
    for _ in $(seq 50); do
        PROXY_PORT=$(sed -n 's/^port //p' "$WORK/proxy.out")
        [ -n "$PROXY_PORT" ] && return
        sleep 0.1
    done
    echo "delayproxy did not start" >&2
    exit 1
}
stop_proxy() {
    [ -n "$PROXY_PID" ] && kill "$PROXY_PID" 2>/dev/null && wait "$PROXY_PID" 2>/dev/null || true
    PROXY_PID=
}
# carried from-server|to-server: the bytes all data connections carried so far in that direction.
carried() { grep '^data ' "$WORK/proxy.out" | tail -1 | awk -v d="$1" '{ for (i = 2; i < NF; i += 2) if ($i == d) print $(i + 1) }'; }
seconds() { awk -v ns="$1" 'BEGIN { printf "%.1f", ns / 1e9 }'; }
# check WHAT BYTES LIMIT: prints the figure; fails the run when BYTES is over LIMIT.
check() {
    local verdict=ok
    [ "$2" -le "$3" ] || verdict="OVER THE LIMIT"
    echo "$1: $2 bytes over all tries (limit $3) $verdict"
    [ "$verdict" = ok ] || FAILED=1
}
FAILED=0

write_vsftpd_conf YES
mkdir -p "$WORK/root/pub/up" "$WORK/local" "$WORK/dest"
echo "making files of $SIZE_MIB MiB and $KILL_SIZE_MIB MiB in $WORK ..."
dd if=/dev/urandom of="$WORK/local/big.bin" bs=1M count="$SIZE_MIB" status=none
cp "$WORK/local/big.bin" "$WORK/root/pub/big.bin"
dd if=/dev/urandom of="$WORK/root/pub/huge.bin" bs=1M count="$KILL_SIZE_MIB" status=none
chown -R ftp "$WORK/root/pub"
start_vsftpd
SIZE=$((SIZE_MIB * MIB))

for control in "" --cut-control; do
    what="data connection${control:+ and control connection} reset at $CUT_MIB MiB"

    start_proxy --cut-after $((CUT_MIB * MIB)) $control
    rm -f "$WORK/dest/big.bin"
    start=$(now_ns)
    "$FTPBENCH" download --passive 127.0.0.1 "$PROXY_PORT" anonymous "" /pub "$WORK/dest" big.bin \
        >"$WORK/down.out" 2>"$WORK/down.err" || { cat "$WORK/down.out" "$WORK/down.err"; exit 1; } >&2
    end=$(now_ns)
    cmp -s "$WORK/root/pub/big.bin" "$WORK/dest/big.bin" || { echo "the download differs" >&2; exit 1; }
    sleep 0.5
    echo "download, $what: finished in $(seconds $((end - start))) s; history: $(grep -c 'Neuer Versuch' "$WORK/down.out") retry line(s)"
    grep 'Neuer Versuch' "$WORK/down.out" | sed 's/^/    /'
    check "  download" "$(carried from-server)" $((SIZE + SLACK))
    stop_proxy

    start_proxy --cut-after $((CUT_MIB * MIB)) $control
    rm -f "$WORK/root/pub/up/big.bin"
    start=$(now_ns)
    "$FTPBENCH" upload --passive 127.0.0.1 "$PROXY_PORT" anonymous "" "$WORK/local" /pub/up big.bin \
        >"$WORK/up.out" 2>"$WORK/up.err" || { cat "$WORK/up.out" "$WORK/up.err"; exit 1; } >&2
    end=$(now_ns)
    cmp -s "$WORK/local/big.bin" "$WORK/root/pub/up/big.bin" || { echo "the upload differs" >&2; exit 1; }
    [ -z "$(ls "$WORK/root/pub/up" | grep -v '^big.bin$')" ] || { echo "left on the server: $(ls "$WORK/root/pub/up")" >&2; exit 1; }
    sleep 0.5
    echo "upload, $what: finished in $(seconds $((end - start))) s; history: $(grep -c 'Neuer Versuch' "$WORK/up.out") retry line(s)"
    grep 'Neuer Versuch' "$WORK/up.out" | sed 's/^/    /'
    check "  upload" "$(carried to-server)" $((SIZE + SLACK))
    stop_proxy
done

# Killed at about KILL_AT_MIB, then run again with the same arguments.
start_proxy
HUGE=$((KILL_SIZE_MIB * MIB))
PART="$WORK/dest/huge.bin.part"
"$FTPBENCH" download --passive 127.0.0.1 "$PROXY_PORT" anonymous "" /pub "$WORK/dest" huge.bin >"$WORK/kill.out" 2>&1 &
BENCH_PID=$!
while kill -0 "$BENCH_PID" 2>/dev/null && [ "$(stat -c %s "$PART" 2>/dev/null || echo 0)" -lt $((KILL_AT_MIB * MIB)) ]; do
    sleep 0.01
done
kill -9 "$BENCH_PID"
wait "$BENCH_PID" 2>/dev/null || true
sleep 1
BEFORE=$(carried from-server)
HAVE=$(stat -c %s "$PART")
start=$(now_ns)
"$FTPBENCH" download --passive 127.0.0.1 "$PROXY_PORT" anonymous "" /pub "$WORK/dest" huge.bin \
    >"$WORK/again.out" 2>"$WORK/again.err" || { cat "$WORK/again.out" "$WORK/again.err"; exit 1; } >&2
end=$(now_ns)
cmp -s "$WORK/root/pub/huge.bin" "$WORK/dest/huge.bin" || { echo "the resumed download differs" >&2; exit 1; }
[ ! -e "$PART" ] || { echo "the partial file is still there" >&2; exit 1; }
sleep 0.5
AFTER=$(carried from-server)
echo "download of $KILL_SIZE_MIB MiB killed with $HAVE bytes in its partial file ($((BEFORE)) bytes carried by then), run again: finished in $(seconds $((end - start))) s"
grep 'Fortgesetzt' "$WORK/again.out" | sed 's/^/    /'
check "  the second run" $((AFTER - BEFORE)) $((HUGE - HAVE + SLACK))
stop_proxy
exit "$FAILED"
