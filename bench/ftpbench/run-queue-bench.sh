#!/bin/bash
# Measures the transfer queue with several connections: `ftpbench download|upload --connections N`
# against `lftp mirror` (one connection) and `lftp mirror --parallel=N` on a local vsftpd, for a
# tree of 1,000 files of 4 KiB in 10 folders; downloads, and uploads against `mirror -R`. Once
# directly and once through bench/delayproxy with a delay of 10 ms each way (a round trip of
# 20 ms). All clients in the same run, their order turned each round, three rounds (ROUNDS=n);
# every copy is compared with the original. The files live in memory (/dev/shm, or BENCH_DIR).
# Needs root (vsftpd runs from a temporary configuration), a built ftpbench and delayproxy:
#   sudo bench/ftpbench/run-queue-bench.sh [path/to/ftpbench [path/to/delayproxy]]
set -euo pipefail

FTPBENCH=${1:-${FTPBENCH:-$(dirname "$0")/../../build/bin/ftpbench}}
DELAYPROXY=${2:-${DELAYPROXY:-$(dirname "$FTPBENCH")/delayproxy}}
ROUNDS=${ROUNDS:-3}
CONNECTIONS=${CONNECTIONS:-4}
DELAYS=${DELAYS:-"0 10"} # ms each way
FOLDERS=10
FILES_PER_FOLDER=100

BENCH_DIR=${BENCH_DIR:-/dev/shm}
[ -d "$BENCH_DIR" ] && [ -w "$BENCH_DIR" ] || BENCH_DIR=/tmp
. "$(dirname "$0")/vsftpd-common.sh"
bench_require lftp
[ -x "$DELAYPROXY" ] || { echo "no delayproxy at $DELAYPROXY" >&2; exit 2; }
bench_workdir "$BENCH_DIR" queuebench
PROXY_PID=
trap '[ -n "$PROXY_PID" ] && kill "$PROXY_PID" 2>/dev/null; bench_cleanup' EXIT

write_vsftpd_conf YES
mkdir -p "$WORK/root/pub/tree" "$WORK/local"
echo "making $((FOLDERS * FILES_PER_FOLDER)) files of 4 KiB in $FOLDERS folders ..."
for f in $(seq -w 1 "$FOLDERS"); do
    mkdir -p "$WORK/root/pub/tree/folder-$f"
    for n in $(seq -w 1 "$FILES_PER_FOLDER"); do
        head -c 4096 /dev/urandom > "$WORK/root/pub/tree/folder-$f/file-$n.bin"
    done
done
cp -r "$WORK/root/pub/tree" "$WORK/local/tree"
chown -R ftp "$WORK/root/pub"
start_vsftpd

# One timed run of a client; $1 names it, the rest is the command. The time goes to TIMES[$1].
declare -A TIMES
timed() {
    local name=$1 start end
    shift
    start=$(now_ns)
    "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" || true
    end=$(now_ns)
    TIMES[$name]="${TIMES[$name]:-} $(ms $((end - start)))"
}

check_copy() { # ORIGINAL COPY NAME
    diff -r "$1" "$2" >/dev/null || { echo "$3's copy differs"; cat "$WORK/$3.err"; exit 1; } >&2
}

lftp_cmd() { # PORT COMMAND...
    local port=$1
    shift
    lftp -c "set ftp:passive-mode on; set net:max-retries 1; open -u anonymous, -p $port 127.0.0.1; $*"
}

for delay in $DELAYS; do
    TARGET=$PORT
    if [ "$delay" -gt 0 ]; then
        "$DELAYPROXY" --ftp 0 127.0.0.1 "$PORT" "$delay" >"$WORK/proxy.out" &
        PROXY_PID=$!
        for _ in $(seq 50); do grep -q '^port ' "$WORK/proxy.out" 2>/dev/null && break; sleep 0.1; done
        TARGET=$(awk '/^port /{ print $2 }' "$WORK/proxy.out")
    fi
    TIMES=()
    for round in $(seq "$ROUNDS"); do
        D="$WORK/down-$delay-$round"; U="pub/up-$delay-$round"
        mkdir -p "$D/ftpbench" "$D/lftp1" "$D/lftpN" "$WORK/root/$U/ftpbench" "$WORK/root/$U/lftp1" "$WORK/root/$U/lftpN"
        chown -R ftp "$WORK/root/$U"
        # The order turns each round, so that no client always meets a warm or a cold machine.
        clients=(ftpbench lftp1 lftpN)
        for ((i = 0; i < round - 1; i++)); do clients=("${clients[@]:1}" "${clients[0]}"); done
        for client in "${clients[@]}"; do
            case $client in
            ftpbench)
                timed down-ftpbench "$FTPBENCH" download --passive --connections "$CONNECTIONS" 127.0.0.1 "$TARGET" \
                    anonymous "" /pub "$D/ftpbench" tree/
                check_copy "$WORK/root/pub/tree" "$D/ftpbench/pub/tree" down-ftpbench
                timed up-ftpbench "$FTPBENCH" upload --passive --connections "$CONNECTIONS" 127.0.0.1 "$TARGET" \
                    anonymous "" "$WORK/local" "/$U/ftpbench" tree/
                check_copy "$WORK/local/tree" "$WORK/root/$U/ftpbench/tree" up-ftpbench ;;
            lftp1)
                timed down-lftp1 lftp_cmd "$TARGET" "mirror /pub/tree $D/lftp1/tree"
                check_copy "$WORK/root/pub/tree" "$D/lftp1/tree" down-lftp1
                timed up-lftp1 lftp_cmd "$TARGET" "mirror -R $WORK/local/tree /$U/lftp1/tree"
                check_copy "$WORK/local/tree" "$WORK/root/$U/lftp1/tree" up-lftp1 ;;
            lftpN)
                timed down-lftpN lftp_cmd "$TARGET" "mirror --parallel=$CONNECTIONS /pub/tree $D/lftpN/tree"
                check_copy "$WORK/root/pub/tree" "$D/lftpN/tree" down-lftpN
                timed up-lftpN lftp_cmd "$TARGET" "mirror -R --parallel=$CONNECTIONS $WORK/local/tree /$U/lftpN/tree"
                check_copy "$WORK/local/tree" "$WORK/root/$U/lftpN/tree" up-lftpN ;;
            esac
        done
        echo "delay ${delay} ms each way, round $round:" \
            "$(for k in down-ftpbench down-lftp1 down-lftpN up-ftpbench up-lftp1 up-lftpN; do
                   printf '%s %s ms  ' "$k" "$(echo ${TIMES[$k]} | awk '{ print $NF }')"; done)"
    done
    echo
    echo "delay ${delay} ms each way (round trip $((2 * delay)) ms), median of $ROUNDS, wall time of the whole client run:"
    for dir in down up; do
        b=$(median ${TIMES[$dir-ftpbench]}); l1=$(median ${TIMES[$dir-lftp1]}); ln=$(median ${TIMES[$dir-lftpN]})
        printf '  %-4s ftpbench --connections %s: %6s ms   lftp mirror%s: %6s ms (ratio %s)   --parallel=%s: %6s ms (ratio %s)\n' \
            "$dir" "$CONNECTIONS" "$b" "$([ $dir = up ] && echo ' -R')" "$l1" \
            "$(awk -v a="$b" -v b="$l1" 'BEGIN { printf "%.2f", a / b }')" "$CONNECTIONS" "$ln" \
            "$(awk -v a="$b" -v b="$ln" 'BEGIN { printf "%.2f", a / b }')"
    done
    echo
    if [ -n "$PROXY_PID" ]; then kill "$PROXY_PID" 2>/dev/null || true; wait "$PROXY_PID" 2>/dev/null || true; PROXY_PID=; fi
done
