#!/bin/bash
# Measures `ftpbench download` (the program's folder-tree download) against `lftp mirror` on a
# local vsftpd: a tree of 1,000 files of 4 KiB in 10 folders, passive mode, both clients in the
# same run, alternating, three rounds. Both copies are checked against the server's tree.
# Needs root (vsftpd runs from a temporary configuration) and a built ftpbench:
#   sudo bench/ftpbench/run-download-bench.sh [path/to/ftpbench]
set -euo pipefail

FTPBENCH=${1:-${FTPBENCH:-$(dirname "$0")/../../build/bin/ftpbench}}
ROUNDS=${ROUNDS:-3}
FOLDERS=10
FILES_PER_FOLDER=100

. "$(dirname "$0")/vsftpd-common.sh"
bench_require lftp
bench_workdir /tmp downloadbench

write_vsftpd_conf NO
mkdir -p "$WORK/root/pub/tree"

echo "making $((FOLDERS * FILES_PER_FOLDER)) files of 4 KiB in $FOLDERS folders under $WORK/root/pub/tree ..."
for f in $(seq -w 1 "$FOLDERS"); do
    mkdir -p "$WORK/root/pub/tree/folder-$f"
    for n in $(seq -w 1 "$FILES_PER_FOLDER"); do
        head -c 4096 /dev/urandom > "$WORK/root/pub/tree/folder-$f/file-$n.bin"
    done
done
chown -R ftp "$WORK/root/pub"

start_vsftpd

declare -a BENCH_MS LFTP_MS
for round in $(seq "$ROUNDS"); do
    # Fresh folders each round, nothing deleted before the end: on ext4, creating files right
    # after deleting many costs time (the allocator avoids recently freed inodes).
    B="$WORK/round-$round/ftpbench"; L="$WORK/round-$round/lftp"
    mkdir -p "$B" "$L"

    start=$(now_ns)
    "$FTPBENCH" download --passive 127.0.0.1 "$PORT" anonymous "" /pub "$B" tree/ \
        >"$WORK/ftpbench.out" 2>"$WORK/ftpbench.err" || true
    end=$(now_ns)
    BENCH_MS+=("$(ms $((end - start)))")
    diff -r "$WORK/root/pub/tree" "$B/pub/tree" >/dev/null \
        || { echo "ftpbench's copy differs"; cat "$WORK/ftpbench.err"; exit 1; } >&2
    ok=$(grep -c $'^green\tStatus: Download erfolgreich$' "$WORK/ftpbench.out" || true)
    red=$(grep -c $'^red\t' "$WORK/ftpbench.out" || true)
    [ "$ok" -eq $((FOLDERS * FILES_PER_FOLDER)) ] && [ "$red" -eq 0 ] \
        || { echo "ftpbench: $ok files reported downloaded, $red red lines" >&2; exit 1; }

    start=$(now_ns)
    lftp -c "set ftp:passive-mode on; open -u anonymous, -p $PORT 127.0.0.1; mirror /pub/tree $L/tree" \
        >"$WORK/lftp.out" 2>&1
    end=$(now_ns)
    LFTP_MS+=("$(ms $((end - start)))")
    diff -r "$WORK/root/pub/tree" "$L/tree" >/dev/null || { echo "lftp's copy differs" >&2; exit 1; }

    echo "round $round: ftpbench download ${BENCH_MS[-1]} ms, lftp mirror ${LFTP_MS[-1]} ms"
done

mb=$(median "${BENCH_MS[@]}"); ml=$(median "${LFTP_MS[@]}")
echo
echo "tree: $((FOLDERS * FILES_PER_FOLDER)) files of 4096 bytes in $FOLDERS folders; wall time of the whole client run, login included; median of $ROUNDS"
echo "ftpbench download: $mb ms   lftp mirror: $ml ms   -> ftpbench takes $(awk -v a="$mb" -v b="$ml" 'BEGIN { printf "%.1f", a / b }')x lftp's time"
echo "both keep one connection for the whole tree"
