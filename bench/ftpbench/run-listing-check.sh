#!/bin/bash
# Listing lines of every shape the parsers read, through `ftpbench list` from a scripted server
# whose FEAT names only MLST: once with MLSD served, once with MLSD refused (LIST follows). Each
# line's name, kind, size and date are compared with what they must be; the lines no parser reads
# are left out and counted on stderr. Needs python3 (no root) and a built ftpbench:
#   bench/ftpbench/run-listing-check.sh [path/to/ftpbench]
set -euo pipefail

FTPBENCH=${1:-${FTPBENCH:-$(dirname "$0")/../../build/bin/ftpbench}}
PYTHON=${PYTHON:-/usr/bin/python3}
[ -x "$FTPBENCH" ] || { echo "run-listing-check.sh: no ftpbench at $FTPBENCH" >&2; exit 2; }

. "$(dirname "$0")/vsftpd-common.sh" # bench_workdir
bench_workdir "${TMPDIR:-/tmp}" listing

# Each line, then "|" and the entry it must give as name|kind|size|date ("-" when it gives none).
cat >"$WORK/list.txt" <<'EOF'
-rw-r--r-- 1 ops ops 512 2019年 7月 14日 報告.txt|報告.txt|-|512|2019-07-14 00:00
-rw-r--r-- 1 ops ops 512 2019년 7월 14일 보고.txt|보고.txt|-|512|2019-07-14 00:00
-rw-r--r-- 1 ops ops 512 14. Juli 2019 bericht.txt|bericht.txt|-|512|2019-07-14 00:00
-rw-r--r-- 1 ops ops 512 júl 14 2019 jelentes.txt|jelentes.txt|-|512|2019-07-14 00:00
-rw-r--r-- 1 ops ops 512 14-07-2019 09:30 b|b|-|512|2019-07-14 09:30
-rw-r--r-- 1 ops ops 512 2019.07.14 c|c|-|512|2019-07-14 00:00
-rw-r--r-- 1 ops ops 512 14-jul-19 d|d|-|512|2019-07-14 00:00
-rw-r--r-- 1 ops ops 512 Jul 14, 2019 09:30 e|e|-|512|2019-07-14 09:30
drwxr-xr-x 3 ops ops 512 dateless|dateless|d|0|
drwxr-xr-x+1202 ops ops 4096 Jul 14 2019 acl|acl|d|0|2019-07-14 00:00
crw------- 1 root sys 12,34 Jul 14 2019 tty0|tty0|-|0|2019-07-14 00:00
-r-xr-xr-x longowner longgroup123456 Jul 14 2019 joined|joined|-|123456|2019-07-14 00:00
-rw-r--r-- 1 owner Domain Users 512 Jul 14 2019 group|group|-|512|2019-07-14 00:00
frw-r--r-- 1 ops ops 512 Jul 14 2019 f|f|-|512|2019-07-14 00:00
-rw-r--r-- 1 ops ops 12.5k Jul 14 2019 unit|unit|-|12800|2019-07-14 00:00
lrwxrwxrwx 1 ops ops 4 Jul 14 2019 ln -> dir/|ln|l|0|2019-07-14 00:00
-rw-r--r-- 1 ops ops 512 Jul 14 2019  two  blanks| two  blanks|-|512|2019-07-14 00:00
07-14-19  09:30AM       <DIR>          dos dir|dos dir|d|0|2019-07-14 09:30
-rw-r--r-- 1 ops ops 512 Jxn 14 2019 unreadable|-
EOF
printf '%s\n' 'type=file;size=5;	name|name|-|5|' \
    'type=file;x.hash=a=b;size=;modify=20190714093000 old draft|old draft|-|0|2019-07-14 09:30' \
    'type=OS.unix=slink:dir/;size=; slink|slink|l|0|' 'type=OS.unix=symlink;size=;   lead|  lead|l|0|' \
    '-rw-r--r-- 1 ops ops 512 Jul 14 2019 not MLSD|-' >"$WORK/mlsd.txt"

cat >"$WORK/server.py" <<'EOF'
# One FTP connection: FEAT names only MLST; MLSD sends argv[2] (or is refused when it is "-"),
# LIST sends argv[3]; every other command is agreed to.
import socket, sys
listener = socket.create_server(("127.0.0.1", 0))
print(listener.getsockname()[1], flush=True)
bodies = {b"MLSD": sys.argv[2], b"LIST": sys.argv[3]}
control, _ = listener.accept()
reader = control.makefile("rb")
control.sendall(b"220 scripted\r\n")
data = None
for line in reader:
    verb = line.strip().split(b" ")[0].upper()
    if verb == b"FEAT":
        control.sendall(b"211-Features:\r\n MLST type*;size*;modify*;\r\n211 End\r\n")
    elif verb == b"PWD":
        control.sendall(b'257 "/"\r\n')
    elif verb == b"EPSV":
        data = socket.create_server(("127.0.0.1", 0))
        control.sendall(b"229 (|||%d|)\r\n" % data.getsockname()[1])
    elif verb in bodies and bodies[verb] == "-":
        control.sendall(b"500 not understood\r\n")
    elif verb in bodies:
        control.sendall(b"150 go\r\n")
        connection, _ = data.accept()
        with open(bodies[verb], "rb") as body:
            connection.sendall(b"".join(l.split(b"|")[0] + b"\r\n" for l in body.read().splitlines()))
        connection.close()
        control.sendall(b"226 done\r\n")
    elif verb == b"QUIT":
        control.sendall(b"221 bye\r\n")
        break
    else:
        control.sendall(b"230 in\r\n" if verb == b"USER" else b"200 ok\r\n")
EOF

status=0
for mode in mlsd list; do
    lines="$WORK/$mode.txt"
    if [ "$mode" = mlsd ]; then mlsd=$lines; else mlsd=-; fi
    "$PYTHON" "$WORK/server.py" "$mode" "$mlsd" "$WORK/list.txt" >"$WORK/port" &
    server=$!
    for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
    "$FTPBENCH" --passive --tls off 127.0.0.1 "$(cat "$WORK/port")" u p list >"$WORK/got" 2>"$WORK/err" || status=1
    wait "$server" || true
    rm -f "$WORK/port"
    cut -f1-4 "$WORK/got" | tr '\t' '|' | sort >"$WORK/got.sorted"
    cut -d'|' -f2- "$lines" | grep -v '^-$' | sort >"$WORK/want.sorted"
    if diff "$WORK/want.sorted" "$WORK/got.sorted" >"$WORK/diff"; then
        echo "$mode: $(wc -l <"$WORK/got.sorted") entries as expected; $(grep -o '[0-9]* unreadable.*' "$WORK/err")"
    else
        echo "$mode: entries differ (< expected, > ftpbench list):" && cat "$WORK/diff" && status=1
    fi
done
exit $status
