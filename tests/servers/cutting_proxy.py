#!/usr/bin/env python3
"""A reverse proxy on 127.0.0.1 that cuts every connection after a set number of bytes.

Every request that reaches it is sent on to --upstream (HOST:PORT, a real server such as nginx)
on a fresh connection, with "Connection: close" instead of the client's own connection headers;
the answer goes back to the client byte for byte until the upstream closes, or until --cut bytes
of it (head and body) have gone to the client on that connection: then the client's connection is
closed (--how close: an orderly close; reset: a reset), as a network that drops a long transfer.
With --heads-only-after N, every answer after the first N is cut where its body begins: the
client gets the head of each further answer and, a second later, the cut without one byte of
its body.

It counts what it moved. GET /.cutting-proxy/stats, answered by the proxy itself and not counted,
returns "requests N", "cuts N" and "bytes N" lines: the requests sent on, the connections it cut,
and the bytes of answers handed to clients. A byte is counted before it is handed over, so once a
client has received an answer its bytes are in the count. --log FILE gets one line a request, written
when the upstream's status line has arrived (before any of the answer goes to the client): the
request line, then "range=", "if-range=" and "status=" fields separated by tabs ("-" for none).

The answer goes from socket to socket through a pipe (splice: Linux), so that the proxy does not
limit the transfer it cuts. Writes its port to --port-file, stops by itself after --lifetime seconds or on SIGTERM.
"""
import argparse
import fcntl
import os
import socket
import sys
import threading
import time

from serve_loop import serve_until, write_port_file

STATS_PATH = "/.cutting-proxy/stats"
HEAD_LIMIT = 65536
PIECE = 1 << 20
HOP_HEADERS = ("connection", "keep-alive", "proxy-connection")


class Proxy:
    def __init__(self, upstream, cut, how, log_path, heads_only_after):
        self.upstream = upstream
        self.cut = cut
        self.heads_only_after = heads_only_after
        self.how = how
        self.log_path = log_path
        self.lock = threading.Lock()
        self.requests = 0
        self.cuts = 0
        self.bytes = 0

    def log(self, line):
        if self.log_path:
            with self.lock, open(self.log_path, "a") as f:
                f.write(line + "\n")

    def next_request(self):
        """Counts a request; returns its number, from 1."""
        with self.lock:
            self.requests += 1
            return self.requests

    def add(self, cuts=0, moved=0):
        with self.lock:
            self.cuts += cuts
            self.bytes += moved

    def stats(self):
        with self.lock:
            return "requests %d\ncuts %d\nbytes %d\n" % (self.requests, self.cuts, self.bytes)


def read_head(sock):
    """The request head up to its empty line (None when the client closed or sent too much)."""
    data = b""
    while b"\r\n\r\n" not in data:
        if len(data) > HEAD_LIMIT:
            return None
        piece = sock.recv(8192)
        if not piece:
            return None
        data += piece
    return data[:data.index(b"\r\n\r\n")]


def header(lines, name):
    for line in lines:
        key, _, value = line.partition(":")
        if key.strip().lower() == name:
            return value.strip()
    return "-"


def close(conn, reset):
    if reset:
        # A linger of zero turns the close into a reset.
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
    else:
        try:
            conn.shutdown(socket.SHUT_WR)
        except OSError:
            pass
    conn.close()


def answer_stats(conn, proxy):
    body = proxy.stats().encode()
    conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n"
                 b"Connection: close\r\n\r\n%s" % (len(body), body))
    close(conn, False)


def relay(conn, proxy):
    conn.settimeout(60)
    head = read_head(conn)
    if head is None:
        conn.close()
        return
    lines = head.decode("latin-1").split("\r\n")
    request_line = lines[0]
    parts = request_line.split(" ")
    if len(parts) == 3 and parts[1] == STATS_PATH:
        answer_stats(conn, proxy)
        return
    number = proxy.next_request()
    kept = [line for line in lines[1:] if line.partition(":")[0].strip().lower() not in HOP_HEADERS]
    outgoing = "\r\n".join([request_line] + kept + ["Connection: close", "", ""]).encode("latin-1")
    upstream = socket.create_connection(proxy.upstream, timeout=60)
    pipe = os.pipe()
    try:
        fcntl.fcntl(pipe[1], fcntl.F_SETPIPE_SZ, PIECE)
    except OSError:
        pass  # the pipe's default size: only slower
    try:
        upstream.sendall(outgoing)
        # The status line is only looked at; the answer itself goes from socket to socket through
        # a pipe (splice), so that the proxy is not what limits the transfer.
        peeked = upstream.recv(8192, socket.MSG_PEEK | socket.MSG_WAITALL)
        status = peeked.split(b"\r\n", 1)[0].decode("latin-1").split(" ")
        proxy.log("\t".join([request_line, "range=" + header(kept, "range"), "if-range=" + header(kept, "if-range"),
                             "status=" + (status[1] if len(status) > 1 else "-")]))
        conn.settimeout(None)
        upstream.settimeout(None)
        room = proxy.cut
        heads_only = proxy.heads_only_after is not None and number > proxy.heads_only_after
        if heads_only and b"\r\n\r\n" in peeked:
            room = peeked.index(b"\r\n\r\n") + 4
        while True:
            got = os.splice(upstream.fileno(), pipe[1], PIECE)
            if got == 0:
                close(conn, False)
                return
            send = min(got, room)
            proxy.add(moved=send)
            while send > 0:
                moved = os.splice(pipe[0], conn.fileno(), send)
                send -= moved
                room -= moved
            if room == 0:
                proxy.add(cuts=1)
                if heads_only:
                    time.sleep(1)  # the head read before the cut, even by a slow client
                close(conn, proxy.how == "reset")
                return
    finally:
        os.close(pipe[0])
        os.close(pipe[1])
        upstream.close()


def serve(conn, proxy):
    try:
        relay(conn, proxy)
    except OSError:
        conn.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--lifetime", type=float, default=900)
    parser.add_argument("--upstream", required=True, help="HOST:PORT")
    parser.add_argument("--cut", type=int, default=10 * 1024 * 1024, help="bytes per connection")
    parser.add_argument("--how", choices=("close", "reset"), default="close")
    parser.add_argument("--heads-only-after", type=int, metavar="N",
                        help="after N requests, cut every answer where its body begins")
    parser.add_argument("--log")
    args = parser.parse_args()
    host, _, port = args.upstream.rpartition(":")
    if not host or not port.isdigit() or args.cut <= 0:
        parser.error("--upstream HOST:PORT and a --cut above 0 are needed")
    proxy = Proxy((host, int(port)), args.cut, args.how, args.log, args.heads_only_after)

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)
    write_port_file(args.port_file, (listener.getsockname()[1],))
    serve_until(listener, args.lifetime, serve, proxy)
    return 0


if __name__ == "__main__":
    sys.exit(main())
