#!/bin/bash
# The listing lines of every shape the parsers read (tests/support/ListingShapes.h) through
# `ftpbench list`, from a scripted server whose FEAT names only MLST: once MLSD is served, once it
# is refused and LIST follows. Each entry's name, kind, size and date are compared with the ones
# the table gives; the lines no parser reads are left out and counted on stderr. Needs python3
# (no root) and a built ftpbench:
#   bench/ftpbench/run-listing-check.sh [path/to/ftpbench]
set -euo pipefail

FTPBENCH=${1:-${FTPBENCH:-$(dirname "$0")/../../build/bin/ftpbench}}
PYTHON=${PYTHON:-/usr/bin/python3}
SHAPES=$(cd "$(dirname "$0")/../../tests/support" && pwd)/ListingShapes.h
[ -x "$FTPBENCH" ] || { echo "run-listing-check.sh: no ftpbench at $FTPBENCH" >&2; exit 2; }

. "$(dirname "$0")/vsftpd-common.sh" # bench_workdir
bench_workdir "${TMPDIR:-/tmp}" listing

cat >"$WORK/server.py" <<'EOF'
# server.py expect|serve SHAPES TABLE: prints the entries of the table ("name|kind|size|date", as
# ftpbench list shows kinds), or serves one FTP connection whose FEAT names only MLST and whose
# MLSD (TABLE mlsdShapes) or LIST (TABLE listShapes, MLSD refused) sends the table's lines.
import ast, re, socket, sys
text = open(sys.argv[2], encoding="utf-8").read()
block = text[text.index(sys.argv[3] + "[] = {"):]
literal = r'("(?:[^"\\]|\\.)*")'
shapes = [(ast.literal_eval(line), ast.literal_eval(entry))
          for line, entry in re.findall(r"\{" + literal + ", " + literal + r"\}", block[:block.index("};")])]
if sys.argv[1] == "expect":
    kinds = {"file": "-", "folder": "d", "link": "l"}
    for _, entry in shapes:
        if entry:
            name, kind, rest = entry.split("|", 2)
            print("%s|%s|%s" % (name, kinds[kind], rest))
    sys.exit(0)
listener = socket.create_server(("127.0.0.1", 0))
print(listener.getsockname()[1], flush=True)
mlsd = sys.argv[3] == "mlsdShapes"
control, _ = listener.accept()
control.sendall(b"220 scripted\r\n")
data = None
for line in control.makefile("rb"):
    verb = line.strip().split(b" ")[0].upper()
    reply = {b"USER": b"230 in", b"PWD": b'257 "/"', b"QUIT": b"221 bye",
             b"FEAT": b"211-Features:\r\n MLST type*;size*;modify*;\r\n211 End"}.get(verb, b"200 ok")
    if verb == b"EPSV":
        data = socket.create_server(("127.0.0.1", 0))
        reply = b"229 (|||%d|)" % data.getsockname()[1]
    elif verb == b"MLSD" and not mlsd:
        reply = b"500 not understood"
    elif verb in (b"MLSD", b"LIST"):
        control.sendall(b"150 go\r\n")
        connection, _ = data.accept()
        connection.sendall(b"".join(line.encode() + b"\r\n" for line, _ in shapes))
        connection.close()
        reply = b"226 done"
    control.sendall(reply + b"\r\n")
    if verb == b"QUIT":
        break
EOF

status=0
for table in mlsdShapes listShapes; do
    "$PYTHON" "$WORK/server.py" serve "$SHAPES" "$table" >"$WORK/port" &
    server=$!
    for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
    "$FTPBENCH" --passive --tls off 127.0.0.1 "$(cat "$WORK/port")" u p list >"$WORK/got" 2>"$WORK/err" || status=1
    wait "$server" || true
    rm -f "$WORK/port"
    cut -f1-4 "$WORK/got" | tr '\t' '|' | sort >"$WORK/got.sorted"
    "$PYTHON" "$WORK/server.py" expect "$SHAPES" "$table" | sort >"$WORK/want.sorted"
    if diff "$WORK/want.sorted" "$WORK/got.sorted" >"$WORK/diff"; then
        echo "$table: $(wc -l <"$WORK/got.sorted") entries as expected; $(grep -o '[0-9]* unreadable.*' "$WORK/err")"
    else
        echo "$table: entries differ (< expected, > ftpbench list):" && cat "$WORK/diff" && status=1
    fi
done
exit $status
