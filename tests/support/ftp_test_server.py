#!/usr/bin/env python3
# Loopback FTP server for the tests, built on pyftpdlib: listens on HOST port 0, prints the chosen
# port as the first line of stdout and serves until its stdin closes, so it never outlives the test
# that started it. Users and options: see FtpServerFixture.h.
import argparse
import errno
import os
import sys
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FileProducer, FTPHandler, ThrottledDTPHandler, _FileReadWriteError, proto_cmds
from pyftpdlib.servers import FTPServer

HOSTILE_NAMES = ["../evil", "a/b"]
UNREADABLE_LINE = b"this line is no listing line\r\n"


def hidden_name(name):
    return ".in." + name + "."


def parse_arguments():
    parser = argparse.ArgumentParser()
    for name in ("--root", "--host", "--user", "--password", "--broken-retr", "--protected", "--broken-stor"):
        parser.add_argument(name, default="")
    for name in ("--drop-after", "--throttle", "--cut-after"):
        parser.add_argument(name, type=int, default=0)
    parser.add_argument("--cuts", type=int, default=1)
    for name in ("--hostile-names", "--advertise-mlsd", "--raw-ascii", "--no-extended", "--real-pwd", "--refuse-dele",
                 "--hidden-stores", "--refuse-mlsd", "--change-on-cut", "--no-rest", "--no-replace-rename", "--no-rename"):
        parser.add_argument(name, action="store_true")
    return parser.parse_args()


def main():
    args = parse_arguments()

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    authorizer.add_user("reader", "reader", args.root, perm="elr")
    if args.protected:
        authorizer.override_perm(args.user, os.path.join(args.root, args.protected), "elr", recursive=True)

    class SortedFS(AbstractedFS):
        # pyftpdlib sorts LIST but not MLSD; the tests expect the order of names either way.
        def listdir(self, path):
            return sorted(AbstractedFS.listdir(self, path))

    class HostileFS(SortedFS):
        def format_list(self, basedir, listing, ignore_err=True):
            yield from SortedFS.format_list(self, basedir, listing, ignore_err)
            for name in HOSTILE_NAMES:
                yield ("-rw-r--r--   1 owner    group           5 Jan 01 00:00 %s\r\n" % name).encode()
            yield UNREADABLE_LINE

        def format_mlsx(self, basedir, listing, perms, facts, ignore_err=True):
            yield from SortedFS.format_mlsx(self, basedir, listing, perms, facts, ignore_err)
            for name in HOSTILE_NAMES:
                yield ("type=file;size=5;modify=20200101000000; %s\r\n" % name).encode()
            yield UNREADABLE_LINE

    cuts_left = [args.cuts if args.cut_after else 0]

    def cut(handler, path):
        # The connection goes as a broken link takes it; a changed file has other bytes and time.
        cuts_left[0] -= 1
        if args.change_on_cut and path:
            with open(path, "rb") as old:
                data = old.read()
            with open(path, "wb") as new:
                new.write(data[::-1] + b"+")
            os.utime(path, (os.path.getatime(path), os.path.getmtime(path) + 86400))
        handler.close()

    class CutProducer:
        # Passes a RETR's first cut_after bytes on, then cuts the connection.
        def __init__(self, producer, handler, path):
            self.producer, self.handler, self.path, self.sent = producer, handler, path, 0

        def more(self):
            if self.sent >= args.cut_after:
                cut(self.handler, self.path)
                return b""
            data = self.producer.more()[:args.cut_after - self.sent]
            self.sent += len(data)
            return data

    class TestDTPHandler(ThrottledDTPHandler):
        read_limit = args.throttle
        # pyftpdlib sets this only after its base class's constructor, which closes a data
        # connection the client has already reset; without it that close kills the server.
        _throttler = None

        def enable_receiving(self, type, cmd):
            # Raw ASCII: what came over the wire is stored as it is.
            ThrottledDTPHandler.enable_receiving(self, "i" if args.raw_ascii else type, cmd)

        def handle_read(self):
            ThrottledDTPHandler.handle_read(self)
            if (args.broken_stor and self.file_obj is not None and self.tot_bytes_received >= 4096
                    and args.broken_stor in os.path.basename(self.file_obj.name)):
                raise _FileReadWriteError(errno.ENOSPC, "simulated full disk")

            if (cuts_left[0] > 0 and self.file_obj is not None and self.cmd in ("STOR", "APPE")
                    and self.tot_bytes_received >= args.cut_after):
                cut(self.cmd_channel, None)

        handle_read_event = handle_read

    class BrokenFileProducer(FileProducer):
        # Sends the first block of the file, then fails as a read error on the disk would.
        block_sent = False

        def more(self):
            if self.block_sent:
                raise _FileReadWriteError(errno.EIO, "simulated read error")
            self.block_sent = True
            return self.file.read(4096)

    class Handler(FTPHandler):
        # Names that are not UTF-8 must reach the file system as the bytes they were.
        unicode_errors = "surrogateescape"
        # Wrong passwords are answered at once; the tests try them on purpose.
        auth_failed_timeout = 0
        commands_seen = 0

        def __init__(self, conn, server, ioloop=None):
            FTPHandler.__init__(self, conn, server, ioloop)
            if args.advertise_mlsd:
                self._extra_feats.append("MLSD")

        def pre_process_command(self, line, cmd, arg):
            self.commands_seen += 1
            if args.drop_after and self.commands_seen > args.drop_after:
                return self.close()
            return FTPHandler.pre_process_command(self, line, cmd, arg)

        def ftp_PWD(self, line):
            if not args.real_pwd:
                return FTPHandler.ftp_PWD(self, line)
            real = self.fs.fs2ftp(os.path.realpath(self.fs.ftp2fs(self.fs.cwd)))
            return self.respond('257 "%s" is the current directory.' % real.replace('"', '""'))

        def ftp_DELE(self, path):
            return self.respond("550 Permission denied.") if args.refuse_dele else FTPHandler.ftp_DELE(self, path)

        def ftp_STOR(self, file, mode="w"):
            if not args.hidden_stores:
                return FTPHandler.ftp_STOR(self, file, mode)
            folder, name = os.path.split(file)
            self.hidden_target = file
            return FTPHandler.ftp_STOR(self, os.path.join(folder, hidden_name(name)), mode)

        def on_file_received(self, file):
            if args.hidden_stores:
                os.replace(file, self.hidden_target)

        def on_incomplete_file_received(self, file):
            if args.hidden_stores:
                os.remove(file)

        def ftp_RNFR(self, path):
            return self.respond("550 Not allowed.") if args.no_rename else FTPHandler.ftp_RNFR(self, path)

        def ftp_RNTO(self, path):
            if args.no_replace_rename and self._rnfr and os.path.exists(path):
                self._rnfr = None
                return self.respond("550 File exists.")
            return FTPHandler.ftp_RNTO(self, path)

        def push_dtp_data(self, data, isproducer=False, file=None, cmd=None):
            if cuts_left[0] > 0 and cmd == "RETR":
                self.use_sendfile = False
                data = CutProducer(data, self, file.name)
            return FTPHandler.push_dtp_data(self, data, isproducer, file, cmd)

        def ftp_RETR(self, file):
            if not args.broken_retr or os.path.basename(file) != args.broken_retr:
                return FTPHandler.ftp_RETR(self, file)
            try:
                fd = self.run_as_current_user(self.fs.open, file, "rb")
            except OSError as err:
                return self.respond("550 %s." % err.strerror)
            # sendfile() would bypass the producer that breaks the transfer.
            self.use_sendfile = False
            self.push_dtp_data(BrokenFileProducer(fd, self._current_type), isproducer=True, file=fd, cmd="RETR")
            return file

    Handler.authorizer = authorizer
    Handler.abstracted_fs = HostileFS if args.hostile_names else SortedFS
    if args.raw_ascii or args.broken_stor or args.throttle or args.cut_after:
        Handler.dtp_handler = TestDTPHandler
    refused = ((("EPSV", "EPRT") if args.no_extended else ()) + (("MLSD",) if args.refuse_mlsd else ())
               + (("REST",) if args.no_rest else ()))
    if refused:
        Handler.proto_cmds = {k: v for k, v in proto_cmds.items() if k not in refused}

    server = FTPServer((args.host, 0), Handler)
    print(server.socket.getsockname()[1], flush=True)

    threading.Thread(target=lambda: (sys.stdin.buffer.read(), os._exit(0)), daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
