#!/bin/bash
# Measures `ftpbench upload` (the program's upload of the selection) on a local vsftpd, passive
# mode, both clients in the same run, alternating, three rounds (ROUNDS=n to change):
#   - a tree of 1,000 files of 4 KiB in 10 folders against `lftp mirror -R`;
#   - one file of 1 GiB (SIZE_MIB to change) against `curl -T`.
# Every copy is compared with the original. The files live in memory (/dev/shm, or BENCH_DIR), so
# the figures measure the clients rather than the disk.
# Needs root (vsftpd runs from a temporary configuration) and a built ftpbench:
#   sudo bench/ftpbench/run-upload-bench.sh [path/to/ftpbench]
set -euo pipefail

FTPBENCH=${1:-${FTPBENCH:-$(dirname "$0")/../../build/bin/ftpbench}}
ROUNDS=${ROUNDS:-3}
SIZE_MIB=${SIZE_MIB:-1024}
FOLDERS=10
FILES_PER_FOLDER=100

BENCH_DIR=${BENCH_DIR:-/dev/shm}
[ -d "$BENCH_DIR" ] && [ -w "$BENCH_DIR" ] || BENCH_DIR=/tmp
. "$(dirname "$0")/vsftpd-common.sh"
bench_require lftp curl
bench_workdir "$BENCH_DIR" uploadbench

mb_per_s() { awk -v b="$1" -v ns="$2" 'BEGIN { printf "%.1f", b / (ns / 1e9) / 1e6 }'; }

write_vsftpd_conf YES
mkdir -p "$WORK/root/pub" "$WORK/local/tree"
echo "making $((FOLDERS * FILES_PER_FOLDER)) files of 4 KiB in $FOLDERS folders and a file of $SIZE_MIB MiB in $WORK ..."
for f in $(seq -w 1 "$FOLDERS"); do
    mkdir -p "$WORK/local/tree/folder-$f"
    for n in $(seq -w 1 "$FILES_PER_FOLDER"); do
        head -c 4096 /dev/urandom > "$WORK/local/tree/folder-$f/file-$n.bin"
    done
done
dd if=/dev/urandom of="$WORK/local/big.bin" bs=1M count="$SIZE_MIB" status=none
BYTES=$(stat -c %s "$WORK/local/big.bin")
chown -R ftp "$WORK/root/pub"
start_vsftpd

URL="ftp://127.0.0.1:$PORT"

# One timed upload of the big file each; the copy is checked, then removed.
put_ftpbench() {
    sync
    local start end
    start=$(now_ns)
    "$FTPBENCH" upload --passive 127.0.0.1 "$PORT" anonymous "" "$WORK/local" "/pub/round-$round/big" big.bin \
        >"$WORK/big.out" 2>&1
    end=$(now_ns)
    BENCH_PUT+=("$(mb_per_s "$BYTES" $((end - start)))")
    cmp -s "$WORK/local/big.bin" "$T/big/big.bin" || { echo "ftpbench's big file differs" >&2; exit 1; }
    rm -f "$T/big/big.bin"
}

put_curl() {
    sync
    local start end
    start=$(now_ns)
    curl -s -T "$WORK/local/big.bin" "$URL/pub/round-$round/big/curl.bin"
    end=$(now_ns)
    CURL_PUT+=("$(mb_per_s "$BYTES" $((end - start)))")
    cmp -s "$WORK/local/big.bin" "$T/big/curl.bin" || { echo "curl's big file differs" >&2; exit 1; }
    rm -f "$T/big/curl.bin"
}

declare -a BENCH_MS LFTP_MS BENCH_PUT CURL_PUT
for round in $(seq "$ROUNDS"); do
    # Fresh target folders each round; nothing is deleted before the end.
    T="$WORK/root/pub/round-$round"
    mkdir -p "$T/ftpbench" "$T/lftp" "$T/big"
    chown -R ftp "$T"

    start=$(now_ns)
    "$FTPBENCH" upload --passive 127.0.0.1 "$PORT" anonymous "" "$WORK/local" "/pub/round-$round/ftpbench" tree/ \
        >"$WORK/ftpbench.out" 2>"$WORK/ftpbench.err" || true
    end=$(now_ns)
    BENCH_MS+=("$(ms $((end - start)))")
    diff -r "$WORK/local/tree" "$T/ftpbench/tree" >/dev/null \
        || { echo "ftpbench's copy differs"; cat "$WORK/ftpbench.err"; exit 1; } >&2
    ok=$(grep -c $'^green\tStatus: Upload erfolgreich$' "$WORK/ftpbench.out" || true)
    red=$(grep -c $'^red\t' "$WORK/ftpbench.out" || true)
    [ "$ok" -eq $((FOLDERS * FILES_PER_FOLDER)) ] && [ "$red" -eq 0 ] \
        || { echo "ftpbench: $ok files reported uploaded, $red red lines" >&2; exit 1; }

    start=$(now_ns)
    lftp -c "set ftp:passive-mode on; open -u anonymous, -p $PORT 127.0.0.1; mirror -R $WORK/local/tree /pub/round-$round/lftp/tree" \
        >"$WORK/lftp.out" 2>&1
    end=$(now_ns)
    LFTP_MS+=("$(ms $((end - start)))")
    diff -r "$WORK/local/tree" "$T/lftp/tree" >/dev/null || { echo "lftp's copy differs" >&2; exit 1; }

    # The two big uploads take turns going first: the one that follows the tree uploads, or the
    # other's clean-up, must not always be the same client.
    if [ $((round % 2)) -eq 1 ]; then put_ftpbench; put_curl; else put_curl; put_ftpbench; fi

    echo "round $round: tree ftpbench ${BENCH_MS[-1]} ms, lftp mirror -R ${LFTP_MS[-1]} ms;" \
         "1 file: ftpbench ${BENCH_PUT[-1]} MB/s, curl ${CURL_PUT[-1]} MB/s"
done

mb=$(median "${BENCH_MS[@]}"); ml=$(median "${LFTP_MS[@]}")
pb=$(median "${BENCH_PUT[@]}"); pc=$(median "${CURL_PUT[@]}")
echo
echo "wall time of the whole client run, login included; median of $ROUNDS"
echo "tree ($((FOLDERS * FILES_PER_FOLDER)) files of 4096 bytes in $FOLDERS folders):" \
     "ftpbench upload $mb ms, lftp mirror -R $ml ms -> $(awk -v a="$mb" -v b="$ml" 'BEGIN { printf "%.2f", a / b }')x lftp's time"
echo "one file of $BYTES bytes: ftpbench upload $pb MB/s, curl -T $pc MB/s" \
     "-> $(awk -v a="$pb" -v b="$pc" 'BEGIN { printf "%.2f", a / b }') of curl's rate"
echo "ftpbench re-connects (ConnectionJobs::reconnect) before each of its $((FOLDERS * FILES_PER_FOLDER + FOLDERS + 1)) items, as the upload does; lftp and curl use one connection"
