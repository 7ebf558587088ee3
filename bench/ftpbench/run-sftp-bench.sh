#!/bin/bash
# Measures ftpbench's download and upload commands over SFTP against OpenSSH's sftp client, on a
# local sshd started from a temporary configuration: one file of SIZE_MIB MiB (default 1024) down
# and up, directly and through bench/delayproxy at DELAY_MS per direction (default 10, a 20 ms
# round trip), and the listing of a folder of 20,000 entries (ftpbench list vs sftp's ls -l).
# Median of ROUNDS runs (default 3); the two tools take turns going first. Every copy is compared
# with its original.
#
# First it checks the refusal: without --hostkey, a host key that the known-hosts file does not hold
# ends ftpbench with a non-zero status and a red line, and sshd sees no log-in attempt.
#
# Needs root (sshd runs from a temporary configuration) and built ftpbench and delayproxy:
#   sudo bench/ftpbench/run-sftp-bench.sh [path/to/build/bin]
set -euo pipefail

BIN=${1:-$(dirname "$0")/../../build/bin}
FTPBENCH=$BIN/ftpbench
DELAYPROXY=$BIN/delayproxy
SIZE_MIB=${SIZE_MIB:-1024}
DELAY_MS=${DELAY_MS:-10}
ROUNDS=${ROUNDS:-3}
ENTRIES=${ENTRIES:-20000}

[ "$(id -u)" -eq 0 ] || { echo "$0: needs root to start sshd" >&2; exit 2; }
for tool in "$FTPBENCH" "$DELAYPROXY"; do [ -x "$tool" ] || { echo "$0: no $tool" >&2; exit 2; }; done
for tool in /usr/sbin/sshd sftp ssh-keygen python3; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is not installed" >&2; exit 2; }
done

ms() { echo $(( $1 / 1000000 )); }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
now_ns() { date +%s%N; }
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

WORK=$(mktemp -d /tmp/sftp-bench.XXXXXX)
SSHD_PID=
PROXY_PID=
cleanup() {
    for pid in $PROXY_PID $SSHD_PID; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap cleanup EXIT
unset SSH_AUTH_SOCK
# ftpbench's ~/.ssh: an empty one of its own, so the user's files play no part.
export HOME=$WORK/home
mkdir -p "$HOME/.ssh" "$WORK/root/list" "$WORK/local" /run/sshd
chmod 700 "$HOME/.ssh"

ssh-keygen -q -t ed25519 -N '' -f "$WORK/hostkey"
ssh-keygen -q -t ed25519 -N '' -f "$WORK/clientkey"
cp "$WORK/clientkey.pub" "$WORK/authorized_keys"
PORT=$(free_port)
cat >"$WORK/sshd_config" <<EOF
Port $PORT
ListenAddress 127.0.0.1
HostKey $WORK/hostkey
PidFile $WORK/sshd.pid
AuthorizedKeysFile $WORK/authorized_keys
UsePAM no
StrictModes no
PermitRootLogin prohibit-password
Subsystem sftp internal-sftp -d $WORK/root
LogLevel VERBOSE
EOF
/usr/sbin/sshd -D -f "$WORK/sshd_config" -E "$WORK/sshd.log" &
SSHD_PID=$!
for _ in $(seq 50); do python3 -c "import socket; socket.create_connection(('127.0.0.1', $PORT))" 2>/dev/null && break; sleep 0.1; done
FINGERPRINT=$(ssh-keygen -lf "$WORK/hostkey.pub" | awk '{ print $2 }')
USER_NAME=$(id -un)

# The refusal: no --hostkey, an empty known-hosts file.
before=$(wc -c <"$WORK/sshd.log")
if "$FTPBENCH" download --protocol sftp --key "$WORK/clientkey" 127.0.0.1 "$PORT" "$USER_NAME" "" . "$WORK/local" nothing \
    >"$WORK/refused.out" 2>"$WORK/refused.err"; then
    echo "ftpbench accepted an unknown host key" >&2; exit 1
fi
grep -q $'^red\t' "$WORK/refused.out" || { echo "no red line for the refused host key" >&2; cat "$WORK/refused.out" >&2; exit 1; }
sleep 0.5
if tail -c +"$((before + 1))" "$WORK/sshd.log" | grep -Eq "Accepted|Failed|Postponed|for $USER_NAME "; then
    echo "something of the log-in reached sshd" >&2; exit 1
fi
echo "refusal: exit status non-zero, red line: $(grep $'^red\t' "$WORK/refused.out" | cut -f2), no log-in attempt in sshd's log"

echo "making a file of $SIZE_MIB MiB and a folder of $ENTRIES entries ..."
head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom >"$WORK/root/big.bin"
cp "$WORK/root/big.bin" "$WORK/local/up.bin"
(cd "$WORK/root/list" && seq -f "entry-%05g.txt" "$ENTRIES" | xargs touch)

# sftp_batch PORT COMMANDS: OpenSSH's client with the same key and a known-hosts file of its own.
sftp_batch() {
    printf '%s\n' "$2" >"$WORK/batch"
    sftp -q -b "$WORK/batch" -i "$WORK/clientkey" -P "$1" -o BatchMode=yes -o UserKnownHostsFile="$WORK/known_hosts" \
        -o StrictHostKeyChecking=yes "$USER_NAME@127.0.0.1" >"$WORK/sftp.out" 2>"$WORK/sftp.err" \
        || { echo "sftp failed:" >&2; cat "$WORK/sftp.err" >&2; exit 1; }
}
ftpbench_sftp() {
    local command=$1 port=$2; shift 2
    "$FTPBENCH" "$command" --protocol sftp --hostkey "$FINGERPRINT" --key "$WORK/clientkey" 127.0.0.1 "$port" "$USER_NAME" "" "$@" \
        >"$WORK/ftpbench.out" 2>"$WORK/ftpbench.err" || { echo "ftpbench $command failed:" >&2; cat "$WORK/ftpbench.out" "$WORK/ftpbench.err" >&2; exit 1; }
}
same() { cmp -s "$1" "$2" || { echo "$1 differs from $2" >&2; exit 1; }; }

# measure PORT LABEL: fills the timings of the four transfers through PORT.
measure() {
    local port=$1 label=$2 round start
    local -a bd=() sd=() bu=() su=()
    for round in $(seq "$ROUNDS"); do
        rm -f "$WORK/local/big.bin" "$WORK/root/up.bin"
        for tool in $( [ $((round % 2)) -eq 1 ] && echo "ftpbench sftp" || echo "sftp ftpbench"); do
            if [ "$tool" = ftpbench ]; then
                start=$(now_ns); ftpbench_sftp download "$port" . "$WORK/local" big.bin; bd+=("$(ms $(( $(now_ns) - start )))")
                same "$WORK/root/big.bin" "$WORK/local/big.bin"; rm -f "$WORK/local/big.bin"
                start=$(now_ns); ftpbench_sftp upload "$port" "$WORK/local" . up.bin; bu+=("$(ms $(( $(now_ns) - start )))")
                same "$WORK/local/up.bin" "$WORK/root/up.bin"; rm -f "$WORK/root/up.bin"
            else
                start=$(now_ns); sftp_batch "$port" "get big.bin $WORK/local/big.bin"; sd+=("$(ms $(( $(now_ns) - start )))")
                same "$WORK/root/big.bin" "$WORK/local/big.bin"; rm -f "$WORK/local/big.bin"
                start=$(now_ns); sftp_batch "$port" "put $WORK/local/up.bin up.bin"; su+=("$(ms $(( $(now_ns) - start )))")
                same "$WORK/local/up.bin" "$WORK/root/up.bin"; rm -f "$WORK/root/up.bin"
            fi
        done
        echo "$label round $round: download ftpbench ${bd[-1]} ms, sftp ${sd[-1]} ms; upload ftpbench ${bu[-1]} ms, sftp ${su[-1]} ms"
    done
    report "$label download" "$(median "${bd[@]}")" "$(median "${sd[@]}")"
    report "$label upload" "$(median "${bu[@]}")" "$(median "${su[@]}")"
}

# report WHAT FTPBENCH_MS SFTP_MS
report() {
    awk -v what="$1" -v b="$2" -v s="$3" -v mib="$SIZE_MIB" 'BEGIN {
        printf "%s, median of '"$ROUNDS"': ftpbench %d ms (%.1f MB/s), sftp %d ms (%.1f MB/s) -> ftpbench at %.2f x sftp'"'"'s rate\n",
               what, b, mib * 1.048576 / (b / 1000), s, mib * 1.048576 / (s / 1000), s / b }'
}

printf '[127.0.0.1]:%s %s\n' "$PORT" "$(cut -d' ' -f1,2 "$WORK/hostkey.pub")" >"$WORK/known_hosts"
measure "$PORT" "local sshd"

"$DELAYPROXY" 0 127.0.0.1 "$PORT" "$DELAY_MS" >"$WORK/proxy.out" &
PROXY_PID=$!
for _ in $(seq 50); do grep -q '^port ' "$WORK/proxy.out" 2>/dev/null && break; sleep 0.1; done
PROXY_PORT=$(awk '/^port / { print $2 }' "$WORK/proxy.out")
printf '[127.0.0.1]:%s %s\n' "$PROXY_PORT" "$(cut -d' ' -f1,2 "$WORK/hostkey.pub")" >>"$WORK/known_hosts"
measure "$PROXY_PORT" "$((2 * DELAY_MS)) ms round trip"

declare -a bl=() sl=()
for round in $(seq "$ROUNDS"); do
    for tool in $( [ $((round % 2)) -eq 1 ] && echo "ftpbench sftp" || echo "sftp ftpbench"); do
        if [ "$tool" = ftpbench ]; then
            start=$(now_ns)
            "$FTPBENCH" --protocol sftp --hostkey "$FINGERPRINT" --key "$WORK/clientkey" 127.0.0.1 "$PORT" "$USER_NAME" "" list list \
                >"$WORK/list.out" 2>"$WORK/list.err" || { cat "$WORK/list.err" >&2; exit 1; }
            bl+=("$(ms $(( $(now_ns) - start )))")
            [ "$(wc -l <"$WORK/list.out")" -eq "$ENTRIES" ] || { echo "ftpbench listed $(wc -l <"$WORK/list.out") entries" >&2; exit 1; }
        else
            start=$(now_ns); sftp_batch "$PORT" "ls -l list"; sl+=("$(ms $(( $(now_ns) - start )))")
            [ "$(grep -c entry- "$WORK/sftp.out")" -eq "$ENTRIES" ] || { echo "sftp listed $(grep -c entry- "$WORK/sftp.out") entries" >&2; exit 1; }
        fi
    done
    echo "listing round $round: ftpbench list ${bl[-1]} ms, sftp ls -l ${sl[-1]} ms"
done
mb=$(median "${bl[@]}"); msl=$(median "${sl[@]}")
echo "listing $ENTRIES entries, median of $ROUNDS (connect included): ftpbench $mb ms, sftp ls -l $msl ms" \
     "-> ftpbench takes $(awk -v a="$mb" -v b="$msl" 'BEGIN { printf "%.2f", a / b }') x sftp's time"
