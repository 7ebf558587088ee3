#!/bin/bash
# Measures ftpbench against curl on a local vsftpd: a 1 GiB download and upload (passive mode,
# both clients in the same run, alternating, five rounds (ROUNDS=n to change)) and a listing of 20,000 entries.
# The files live in memory (/dev/shm, or BENCH_DIR): on a disk the write-back of each gigabyte
# lands on whichever client runs next, and the figures measure the disk rather than the clients.
# Before every timed run the previous copies are deleted and the page cache flushed (sync).
# With TLS=1 everything runs over explicit FTP over TLS: vsftpd demands it for login and data and
# the TLS session's reuse on every data connection; ftpbench runs with --tls require and the
# certificate's fingerprint, curl with --ssl-reqd.
# Needs root (vsftpd runs from a temporary configuration) and a built ftpbench:
#   sudo [TLS=1] [ROUNDS=n] bench/ftpbench/run-bench.sh [path/to/ftpbench] [size-in-MiB]
set -euo pipefail

FTPBENCH=${1:-${FTPBENCH:-$(dirname "$0")/../../build/bin/ftpbench}}
SIZE_MIB=${2:-1024}
ROUNDS=${ROUNDS:-5}
TLS=${TLS:-0}
LISTING_FILES=20000

BENCH_DIR=${BENCH_DIR:-/dev/shm}
[ -d "$BENCH_DIR" ] && [ -w "$BENCH_DIR" ] || BENCH_DIR=/tmp
. "$(dirname "$0")/vsftpd-common.sh"
bench_require curl $([ "$TLS" != 1 ] || echo openssl)
bench_workdir "$BENCH_DIR" ftpbench

# mb_per_s BYTES NANOSECONDS
mb_per_s() { awk -v b="$1" -v ns="$2" 'BEGIN { printf "%.1f", b / (ns / 1e9) / 1e6 }'; }

write_vsftpd_conf YES
mkdir -p "$WORK/root/pub/many" "$WORK/local"

echo "making test files in $WORK ($(stat -f -c %T "$WORK")) ..."
dd if=/dev/urandom of="$WORK/root/pub/big.bin" bs=1M count="$SIZE_MIB" status=none
cp "$WORK/root/pub/big.bin" "$WORK/local/big.bin"
(cd "$WORK/root/pub/many" && seq -f "file-%05g.txt" 1 "$LISTING_FILES" | xargs touch)
chown -R ftp "$WORK/root/pub"
BYTES=$(stat -c %s "$WORK/local/big.bin")

TLS_BENCH=(--tls off)
CURL=(curl -s)
if [ "$TLS" = 1 ]; then
    add_vsftpd_tls
    TLS_BENCH=(--tls require --trust "$FINGERPRINT")
    CURL=(curl -s --ssl-reqd --insecure) # the certificate is self-signed
fi
start_vsftpd

URL="ftp://127.0.0.1:$PORT"
BENCH=("$FTPBENCH" --passive "${TLS_BENCH[@]}" 127.0.0.1 "$PORT" anonymous "")
BENCH_PIECES=("$FTPBENCH" --passive --piece 255 "${TLS_BENCH[@]}" 127.0.0.1 "$PORT" anonymous "")
declare -a CURL_GET FTP_GET CURL_PUT FTP_PUT

settle() { rm -f "$WORK/local/got-"* "$WORK/root/pub/up-"*; sync; }

for round in $(seq "$ROUNDS"); do
    settle
    start=$(now_ns); "${CURL[@]}" -o "$WORK/local/got-curl.bin" "$URL/pub/big.bin"; end=$(now_ns)
    CURL_GET+=("$(mb_per_s "$BYTES" $((end - start)))")
    cmp -s "$WORK/local/got-curl.bin" "$WORK/local/big.bin" || { echo "curl download differs" >&2; exit 1; }
    settle
    start=$(now_ns); "${BENCH[@]}" get pub/big.bin "$WORK/local/got-ftpbench.bin" >"$WORK/get.out" 2>>"$WORK/ftpbench.err"; end=$(now_ns)
    FTP_GET+=("$(mb_per_s "$BYTES" $((end - start)))")
    cmp -s "$WORK/local/got-ftpbench.bin" "$WORK/local/big.bin" || { echo "ftpbench download differs" >&2; exit 1; }

    settle
    start=$(now_ns); "${CURL[@]}" -T "$WORK/local/big.bin" "$URL/pub/up-curl.bin"; end=$(now_ns)
    CURL_PUT+=("$(mb_per_s "$BYTES" $((end - start)))")
    settle
    start=$(now_ns); "${BENCH[@]}" put "$WORK/local/big.bin" pub/up-ftpbench.bin binary >"$WORK/put.out" 2>>"$WORK/ftpbench.err"; end=$(now_ns)
    FTP_PUT+=("$(mb_per_s "$BYTES" $((end - start)))")
    cmp -s "$WORK/root/pub/up-ftpbench.bin" "$WORK/local/big.bin" || { echo "ftpbench upload differs" >&2; exit 1; }
    echo "round $round: get curl ${CURL_GET[-1]} ftpbench ${FTP_GET[-1]} MB/s ($(tail -1 "$WORK/get.out"));" \
         "put curl ${CURL_PUT[-1]} ftpbench ${FTP_PUT[-1]} MB/s ($(tail -1 "$WORK/put.out"))"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.0f%%", a / b * 100 }'; }
mg_curl=$(median "${CURL_GET[@]}"); mg_ftp=$(median "${FTP_GET[@]}")
mp_curl=$(median "${CURL_PUT[@]}"); mp_ftp=$(median "${FTP_PUT[@]}")
echo
[ "$TLS" = 1 ] && echo "over TLS: ftpbench says \"$(grep -m1 encrypted "$WORK/ftpbench.err" || true)\"; curl --ssl-reqd"
echo "file: $BYTES bytes; rates in MB/s (10^6 bytes) over the whole client run, login included; median of $ROUNDS"
echo "download: curl $mg_curl  ftpbench $mg_ftp  -> ftpbench at $(ratio "$mg_ftp" "$mg_curl") of curl"
echo "upload:   curl $mp_curl  ftpbench $mp_ftp  -> ftpbench at $(ratio "$mp_ftp" "$mp_curl") of curl"

settle
start=$(now_ns); "${BENCH_PIECES[@]}" put "$WORK/local/big.bin" pub/up-pieces.bin binary >"$WORK/pieces.out" 2>>"$WORK/ftpbench.err"; end=$(now_ns)
echo "upload in 255-byte pieces (as the program's upload hands them over): ftpbench $(mb_per_s "$BYTES" $((end - start)))"
cmp -s "$WORK/root/pub/up-pieces.bin" "$WORK/local/big.bin" || { echo "ftpbench upload in pieces differs" >&2; exit 1; }

start=$(now_ns); "${CURL[@]}" "$URL/pub/many/" >"$WORK/curl-list.out"; end=$(now_ns)
curl_list_ms=$(( (end - start) / 1000000 ))
start=$(now_ns); "${BENCH[@]}" list pub/many >"$WORK/list.out" 2>>"$WORK/ftpbench.err"; end=$(now_ns)
list_ms=$(( (end - start) / 1000000 ))
entries=$(wc -l <"$WORK/list.out")
echo "listing:  $entries entries; ftpbench ${list_ms} ms (curl ${curl_list_ms} ms), login included"
[ "$entries" -eq "$LISTING_FILES" ] || { echo "expected $LISTING_FILES entries" >&2; exit 1; }
