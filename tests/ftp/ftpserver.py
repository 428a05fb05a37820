#!/usr/bin/python3
"""An FTP server for the transfer tests (pyftpdlib), on 127.0.0.1.

Prints "PORT <n>" on stdout once it listens, then serves until it is killed. One user, whose home
is --root. Behaviours (--mode):
  normal   a plain server
  drop     a download stops after --after bytes: the server process ends, dropping the control
           and the data connection in the middle of the transfer
  stall    a download stops after --after bytes and the server says nothing more
  silent   connections are accepted and never answered (no greeting)
With --cert the server does explicit FTPS only (AUTH TLS and protected data required).
--log FILE records every connection and command (the PASS argument included), one a line.
--readonly lets the user list and read but not store.
"""
import argparse
import os
import socket
import sys
import time

parser = argparse.ArgumentParser()
parser.add_argument("--root", required=True)
parser.add_argument("--user", default="tester")
parser.add_argument("--password", default="hemmelig")
parser.add_argument("--mode", default="normal", choices=["normal", "drop", "stall", "silent"])
parser.add_argument("--after", type=int, default=65536)
parser.add_argument("--cert")
parser.add_argument("--log")
parser.add_argument("--readonly", action="store_true")
args = parser.parse_args()


def announce(port):
    sys.stdout.write("PORT %d\n" % port)
    sys.stdout.flush()


if args.mode == "silent":
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    announce(listener.getsockname()[1])
    held = []
    while True:
        conn, _ = listener.accept()
        held.append(conn)  # kept open, never written to

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

if args.cert:
    from pyftpdlib.handlers import TLS_DTPHandler
    from pyftpdlib.handlers import TLS_FTPHandler as BaseHandler

    class TlsDataHandler(TLS_DTPHandler):
        # A client may start the data connection's TLS handshake before it sends RETR or STOR;
        # pyftpdlib would take that early data connection for a dropped one and close it.
        def readable(self):
            if self._ssl_accepting or self._ssl_want_read:
                return True
            return super().readable()
else:
    BaseHandler = FTPHandler


class LimitedFile:
    """A file being downloaded that breaks off after args.after bytes."""

    def __init__(self, f):
        self._f = f
        self._sent = 0

    def read(self, size=-1):
        if self._sent >= args.after:
            if args.mode == "drop":
                os._exit(0)
            while True:  # stall: the server hangs here, saying nothing
                time.sleep(3600)
        if size < 0 or size > args.after - self._sent:
            size = args.after - self._sent
        data = self._f.read(size)
        self._sent += len(data)
        return data

    def __getattr__(self, name):
        return getattr(self._f, name)


class TestFS(AbstractedFS):
    def open(self, filename, mode):
        f = super().open(filename, mode)
        if args.mode in ("drop", "stall") and "r" in mode:
            return LimitedFile(f)
        return f


def record(line):
    if args.log:
        with open(args.log, "a") as out:
            out.write(line + "\n")


class Handler(BaseHandler):
    use_sendfile = False  # downloads go through the file object, so LimitedFile is honoured
    auth_failed_timeout = 0
    abstracted_fs = TestFS

    def on_connect(self):
        record("CONNECT")

    def pre_process_command(self, line, cmd, arg):
        record(line)
        return super().pre_process_command(line, cmd, arg)


if args.cert:
    Handler.certfile = args.cert
    Handler.tls_control_required = True
    Handler.tls_data_required = True
    Handler.dtp_handler = TlsDataHandler

authorizer = DummyAuthorizer()
authorizer.add_user(args.user, args.password, args.root, perm="elr" if args.readonly else "elradfmw")
Handler.authorizer = authorizer
Handler.passive_ports = None
server = FTPServer(("127.0.0.1", 0), Handler)
announce(server.socket.getsockname()[1])
server.serve_forever(handle_exit=False)
