#!/bin/bash
# Measures `ftpbench rdelete` (the program's recursive remote delete) against lftp's `rm -r` on a
# local vsftpd: a tree of 1,000 empty-ish files in 10 folders, passive mode, both clients in the
# same run, alternating, three rounds; the tree is made afresh before each client. Both must leave
# nothing of it behind.
# Needs root (vsftpd runs from a temporary configuration) and a built ftpbench:
#   sudo bench/ftpbench/run-rdelete-bench.sh [path/to/ftpbench]
set -euo pipefail

FTPBENCH=${1:-${FTPBENCH:-$(dirname "$0")/../../build/bin/ftpbench}}
ROUNDS=${ROUNDS:-3}
FOLDERS=10
FILES_PER_FOLDER=100

. "$(dirname "$0")/vsftpd-common.sh"
bench_require lftp
bench_workdir /tmp rdeletebench

make_tree() {
    local tree="$WORK/root/pub/tree"
    mkdir -p "$tree"
    for f in $(seq -w 1 "$FOLDERS"); do
        mkdir -p "$tree/folder-$f"
        (cd "$tree/folder-$f" && for n in $(seq -w 1 "$FILES_PER_FOLDER"); do echo "$n" > "file-$n.txt"; done)
    done
    chown -R ftp "$WORK/root/pub"
}

write_vsftpd_conf YES
mkdir -p "$WORK/root/pub"
start_vsftpd

declare -a BENCH_MS LFTP_MS
for round in $(seq "$ROUNDS"); do
    make_tree
    start=$(now_ns)
    "$FTPBENCH" rdelete --passive 127.0.0.1 "$PORT" anonymous "" /pub tree/ \
        >"$WORK/ftpbench.out" 2>"$WORK/ftpbench.err" || true
    end=$(now_ns)
    BENCH_MS+=("$(ms $((end - start)))")
    [ ! -e "$WORK/root/pub/tree" ] || { echo "ftpbench left the tree behind"; cat "$WORK/ftpbench.err"; exit 1; } >&2
    ok=$(grep -c $'^green\t' "$WORK/ftpbench.out" || true)
    red=$(grep -c $'^red\t' "$WORK/ftpbench.out" || true)
    [ "$ok" -eq $((FOLDERS * FILES_PER_FOLDER + FOLDERS + 1)) ] && [ "$red" -eq 0 ] \
        || { echo "ftpbench: $ok entries reported deleted, $red red lines" >&2; exit 1; }

    make_tree
    start=$(now_ns)
    lftp -c "set ftp:passive-mode on; open -u anonymous, -p $PORT 127.0.0.1; rm -r /pub/tree" \
        >"$WORK/lftp.out" 2>&1
    end=$(now_ns)
    LFTP_MS+=("$(ms $((end - start)))")
    [ ! -e "$WORK/root/pub/tree" ] || { echo "lftp left the tree behind" >&2; cat "$WORK/lftp.out" >&2; exit 1; }

    echo "round $round: ftpbench rdelete ${BENCH_MS[-1]} ms, lftp rm -r ${LFTP_MS[-1]} ms"
done

mb=$(median "${BENCH_MS[@]}"); ml=$(median "${LFTP_MS[@]}")
echo
echo "tree: $((FOLDERS * FILES_PER_FOLDER)) files in $FOLDERS folders; wall time of the whole client run, login included; median of $ROUNDS"
echo "ftpbench rdelete: $mb ms   lftp rm -r: $ml ms   -> ftpbench takes $(awk -v a="$mb" -v b="$ml" 'BEGIN { printf "%.1f", a / b }')x lftp's time"
