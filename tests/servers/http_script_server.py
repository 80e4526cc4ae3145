#!/usr/bin/env python3
"""Scripted HTTP server for the client tests (standard library only, 127.0.0.1 only).

Each request path names a scene: the server records the request head exactly as received and
plays the scene's bytes, pauses and closes. A proxy request (absolute form) is played by the
path after the authority, so the same scenes serve direct and proxied requests.

Paths /resume/KIND/ANY play a file of 100000 bytes that is cut while it is sent and asked for
again (see resume_scene); each full path counts its own requests, so a fresh ANY starts afresh.

Control paths, answered with "200 OK", a Content-Length and "Connection: close":
  /_last/NAME   "<connection number>\n" then the last request head recorded for NAME
  /_count/NAME  how many requests NAME has received

On start it writes "MAIN REFUSED STUCK" to --port-file: the scene port, a port where nothing
listens (refused connections) and a port whose listen queue is full (connects hang). It stops
on SIGTERM or after --lifetime seconds.
"""
import argparse
import socket
import struct
import sys
import threading
import time

from serve_loop import serve_until, write_port_file

BODY_1000 = bytes((i * 7) & 0xFF for i in range(1000))


def head(status, *fields):
    return (status + "\r\n" + "".join(f + "\r\n" for f in fields) + "\r\n").encode("latin-1")


def pattern(n):
    return bytes((i * 31 + 7) & 0xFF for i in range(n))


# A scene is a list of steps: bytes to send, a float to sleep, CLOSE or RESET (the connection
# ends with RST instead of an orderly close). After the last step the connection stays open for
# the next request unless the scene ends in CLOSE or RESET.
CLOSE = object()
RESET = object()
SCENES = {
    "ok": [head("HTTP/1.1 200 OK", "Content-Length: 5"), b"hello"],
    "ok_close": [head("HTTP/1.1 200 OK", "Content-Length: 5", "Connection: close"), b"hello", CLOSE],
    "proxy_close": [head("HTTP/1.1 200 OK", "Content-Length: 2", "Proxy-Connection:  Close "), b"ok"],
    "http10": [head("HTTP/1.0 200 OK", "Content-Length: 2"), b"ok"],
    "short600": [head("HTTP/1.1 200 OK", "Content-Length: 1000"), BODY_1000[:600], 0.05, CLOSE],
    "chunked": [head("HTTP/1.1 200 OK", "Transfer-Encoding: chunked"),
                b"a\r\n0123456789\r\n", 0.05, b"5\r\nabcde\r\n0\r\n\r\n"],
    "chunk_ext": [head("HTTP/1.1 200 OK", "Transfer-Encoding: chunked"),
                  b"3;name=value\r\nabc\r\n0\r\nX-Trailer: 1\r\n\r\n"],
    "chunk_cut": [head("HTTP/1.1 200 OK", "Transfer-Encoding: chunked"), b"a\r\n0123456789\r\n", CLOSE],
    "chunk_cut_mid": [head("HTTP/1.1 200 OK", "Transfer-Encoding: chunked"), b"a\r\n0123", CLOSE],
    "chunk_bad": [head("HTTP/1.1 200 OK", "Transfer-Encoding: chunked"), b"zz\r\nabc\r\n0\r\n\r\n", CLOSE],
    "chunk_huge": [head("HTTP/1.1 200 OK", "Transfer-Encoding: chunked"), b"ffffffffff\r\nabc", CLOSE],
    "nolength": [head("HTTP/1.0 200 OK", "Content-Type: application/zip"), pattern(3000), 0.05,
                 pattern(70000), CLOSE],
    "nolength_reset": [head("HTTP/1.0 200 OK"), pattern(3000), 0.2, RESET],
    "nolength_reset_early": [head("HTTP/1.1 200 OK"), pattern(1000), 0.2, RESET],
    "length_reset": [head("HTTP/1.1 200 OK", "Content-Length: 3000"), pattern(1000), 0.2, RESET],
    "zero": [head("HTTP/1.1 200 OK", "Content-Length: 0")],
    "large": [head("HTTP/1.1 200 OK", "Content-Length: 100000"), pattern(100000)],
    "notfound": [b"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot here."],
    "moved": [head("HTTP/1.1 301 Moved Permanently", "Location: /ok", "Content-Length: 6"), b"moved!"],
    "found": [head("HTTP/1.1 302 Found", "Location: http://127.0.0.1:1/elsewhere"), b"see there", CLOSE],
    "not_modified": [head("HTTP/1.1 304 Not Modified")],
    "unauthorized": [head("HTTP/1.1 401 Unauthorized", 'WWW-Authenticate: Basic realm="x"', "Content-Length: 0")],
    "proxy_auth": [head("HTTP/1.1 407 Proxy Authentication Required", 'Proxy-Authenticate: Basic realm="p"',
                        "Content-Length: 0")],
    "server_error": [b"HTTP/1.0 500  Internal  Error \r\n\r\nboom", CLOSE],
    "no_content": [head("HTTP/1.1 204 No Content")],
    "continue": [head("HTTP/1.1 100 Continue"), head("HTTP/1.1 100 Continue", "X-Again: 1"),
                 head("HTTP/1.1 200 OK", "Content-Length: 2"), b"ok"],
    "status_only": [b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n", CLOSE],
    "lf_only": [b"HTTP/1.1 200 OK\nContent-Length: 3\n\nabc"],
    "close_at_once": [CLOSE],
    "long_header": [b"HTTP/1.1 200 OK\r\nX-Long: " + b"a" * 16400 + b"\r\nContent-Length: 2\r\n\r\nok", CLOSE],
    "line_at_limit": [b"HTTP/1.1 200 OK\r\nX-Long: " + b"a" * (16384 - 10) + b"\r\nContent-Length: 2\r\n\r\nok"],
    "stall_body": [head("HTTP/1.1 200 OK", "Content-Length: 10"), b"abc", 3.0, CLOSE],
    "slow_body": [head("HTTP/1.1 200 OK", "Content-Length: 2"), 0.6, b"ok"],
    "stall_head": [3.0, head("HTTP/1.1 200 OK", "Content-Length: 2"), b"ok", CLOSE],
    "stall_error_body": [head("HTTP/1.1 500 Busy", "Content-Length: 100"), b"partial", 5.0, CLOSE],
    "bad_length": [head("HTTP/1.1 200 OK", "Content-Length: abc"), b"abc", CLOSE],
    "negative_length": [head("HTTP/1.1 200 OK", "Content-Length: -5"), b"abc", CLOSE],
    "huge_length": [head("HTTP/1.1 200 OK", "Content-Length: 2147483648"), b"abc", CLOSE],
    "max_length": [head("HTTP/1.1 200 OK", "Content-Length: 2147483647"), b"abc", CLOSE],
    "set_cookies": [head("HTTP/1.1 200 OK", "Set-Cookie: sid=42; Path=/", "set-cookie2: lang=fr; Path=/cookies",
                         "Set-Cookie: other=1; Domain=elsewhere.example", "Content-Length: 0")],
    "cookies/check": [head("HTTP/1.1 200 OK", "Content-Length: 0")],
    "keepalive": [head("HTTP/1.1 200 OK", "Content-Length: 2"), b"ka"],
}


# The resumed file: its first version, and the second one a changed file brings.
RESUME_V1 = pattern(100000)
RESUME_V2 = bytes((i * 13 + 5) & 0xFF for i in range(30000))  # shorter than what the cut keeps
RESUME_CUT = 40000  # the first answer ends here: 40 %


def field(raw, name):
    """The value of the request field NAME (any letter case), or None."""
    for line in raw.decode("latin-1").split("\r\n")[1:]:
        key, colon, value = line.partition(":")
        if colon and key.strip().lower() == name.lower():
            return value.strip()
    return None


def resume_scene(kind, count, raw):
    """The steps that answer request number COUNT of a resumed download of kind KIND.

    The first request gets "200 OK" with the length, ETag "v1", and 40 % of the file, then a
    close (chunk_cut: chunked, cut before its last chunk). The later ones, by kind:
      range       a Range with If-Range "v1" gets the rest as 206; anything else the whole file
      changed     the file is now version 2 (ETag "v2"): If-Range "v1" gets it whole as 200
      ignore      the whole file as 200, Range or not
      bad_start   a 206 that begins one byte after the asked start
      bad_total   a 206 whose total is not the file's length
      cut_always  a 206 head, then a reset before any byte of it
      stall       the second request gets a 206 head, 1000 bytes and then 3 s of silence; the
                  later ones as "range"
      chunk_cut   the whole file again, chunked
      lengthless  (the first answer had no length and was reset) version 2, without a length
    """
    size = len(RESUME_V1)
    if kind == "lengthless":
        if count == 1:
            return [head("HTTP/1.0 200 OK", 'ETag: "v1"'), RESUME_V1[:RESUME_CUT], 0.2, RESET]
        return [head("HTTP/1.0 200 OK"), RESUME_V2, CLOSE]
    if count == 1:
        if kind == "chunk_cut":
            return [head("HTTP/1.1 200 OK", "Transfer-Encoding: chunked", 'ETag: "v1"'),
                    b"%x\r\n" % RESUME_CUT + RESUME_V1[:RESUME_CUT] + b"\r\n", CLOSE]
        return [head("HTTP/1.1 200 OK", "Content-Length: %d" % size, 'ETag: "v1"'), RESUME_V1[:RESUME_CUT], CLOSE]
    if kind == "chunk_cut":
        return [head("HTTP/1.1 200 OK", "Transfer-Encoding: chunked"),
                b"%x\r\n" % size + RESUME_V1 + b"\r\n0\r\n\r\n"]
    current, tag = (RESUME_V2, '"v2"') if kind == "changed" else (RESUME_V1, '"v1"')
    size = len(current)
    whole = [head("HTTP/1.1 200 OK", "Content-Length: %d" % size, "ETag: " + tag), current]
    asked = field(raw, "Range") or ""
    if kind == "ignore" or not asked.startswith("bytes=") or field(raw, "If-Range") != tag:
        return whole
    start = int(asked[6:].rstrip("-"))
    first, total = start, size
    if kind == "bad_start":
        first += 1
    if kind == "bad_total":
        total += 1
    part = head("HTTP/1.1 206 Partial Content", "Content-Range: bytes %d-%d/%d" % (first, size - 1, total),
                "Content-Length: %d" % (size - first), "ETag: " + tag)
    if kind == "cut_always":
        return [part, 0.2, RESET]
    if kind == "stall" and count == 2:
        return [part, current[first:first + 1000], 3.0, CLOSE]
    return [part, current[first:]]


class Recorder:
    def __init__(self):
        self.lock = threading.Lock()
        self.last = {}
        self.count = {}
        self.connections = 0

    def new_connection(self):
        with self.lock:
            self.connections += 1
            return self.connections

    def record(self, name, conn, raw):
        with self.lock:
            self.last[name] = b"%d\n" % conn + raw
            self.count[name] = self.count.get(name, 0) + 1


def scene_name(target):
    """The scene for a request target: origin form "/name" or absolute "http://host:port/name"."""
    if target.startswith("http://"):
        slash = target.find("/", 7)
        target = target[slash:] if slash >= 0 else "/"
    return target.split("?", 1)[0].lstrip("/")


def read_head(conn, pending):
    while b"\r\n\r\n" not in pending:
        data = conn.recv(65536)
        if not data:
            return None, b""
        pending += data
    end = pending.index(b"\r\n\r\n") + 4
    return pending[:end], pending[end:]


def serve(conn, recorder):
    conn.settimeout(30)
    number = recorder.new_connection()
    pending = b""
    try:
        while True:
            raw, pending = read_head(conn, pending)
            if raw is None:
                return
            target = raw.split(b"\r\n", 1)[0].split(b" ")[1].decode("latin-1")
            name = scene_name(target)
            if name.startswith("_last/") or name.startswith("_count/"):
                kind, _, wanted = name.partition("/")
                with recorder.lock:
                    body = recorder.last.get(wanted, b"") if kind == "_last" else \
                        str(recorder.count.get(wanted, 0)).encode()
                conn.sendall(head("HTTP/1.1 200 OK", "Content-Length: %d" % len(body), "Connection: close") + body)
                return
            recorder.record(name, number, raw)
            if name.startswith("bytes/"):
                size = int(name[6:])
                conn.sendall(head("HTTP/1.1 200 OK", "Content-Length: %d" % size) + pattern(size))
                continue
            if name.startswith("resume/"):
                with recorder.lock:
                    count = recorder.count[name]
                steps = resume_scene(name.split("/")[1], count, raw)
            else:
                steps = SCENES.get(name)
            if steps is None:
                conn.sendall(head("HTTP/1.1 404 No Such Scene", "Content-Length: 0"))
                continue
            for step in steps:
                if step is CLOSE:
                    return
                if step is RESET:
                    # A zero linger time makes close() send RST.
                    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    return
                if isinstance(step, float):
                    time.sleep(step)
                else:
                    conn.sendall(step)
    except OSError:
        pass
    finally:
        conn.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--lifetime", type=float, default=900)
    args = parser.parse_args()

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(64)

    # A port nobody listens on: bound, then released.
    probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    probe.bind(("127.0.0.1", 0))
    refused = probe.getsockname()[1]
    probe.close()

    # A listener that never accepts, its queue filled: further connects get no answer.
    stuck = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    stuck.bind(("127.0.0.1", 0))
    stuck.listen(0)
    fillers = []
    for _ in range(3):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setblocking(False)
        try:
            s.connect(stuck.getsockname())
        except BlockingIOError:
            pass
        fillers.append(s)

    recorder = Recorder()
    write_port_file(args.port_file, (listener.getsockname()[1], refused, stuck.getsockname()[1]))
    serve_until(listener, args.lifetime, serve, recorder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
