#!/usr/bin/env python3
"""Scripted package server for the worker tests (127.0.0.1 only).

Builds its packages at start, writes its port to --port-file, and answers:
  /pkg/NAME                  the package NAME with its Content-Length
  /missing/NAME              404 Not Found
  /truncated/NAME            announces 1000 bytes, sends 600, closes
  /empty/NAME                200 with an empty body
  /stall/NAME                headers for 1000 bytes, 10 bytes, then silence for --stall seconds
  /raw/NAME                  the file NAME as it stands (a whole answer: status line, header,
                             body), then the connection closes
  /nolength/HOW-N/NAME       the package NAME without a length (HTTP/1.0, read until the close)
                             but its last N bytes, then HOW: "close" (orderly) or "reset" (RST)
  /cutreset/NAME             the package NAME with its Content-Length, cut by a reset after 60 %
  /stall0/NAME               headers for 1000 bytes, then silence for --stall seconds
  /slow/NAME                 the package NAME with its Content-Length, sent 256 bytes at a time
                             with a pause of 2 ms after each piece
  /resume/KIND[.TAG]/NAME    the package NAME with an ETag, cut at 40 % by a close the first time
                             this path is asked for; later requests are answered by KIND (see
                             resume_answer)
  /ranges/PATH               the Range and If-Range fields of each request for PATH, one request a
                             line ("-" for a field not sent)
  /notice/ANYTHING           200 "ok"; the path is recorded
  /notices                   the recorded notice paths, one a line
It stops by itself after --lifetime seconds.
"""
import argparse
import io
import os
import socket
import socketserver
import struct
import sys
import threading
import time
import zipfile
from http.server import BaseHTTPRequestHandler

NOTICES = []
RANGES = {}  # path -> the Range and If-Range of each of its requests
LOCK = threading.Lock()


def build_packages(folder):
    os.makedirs(folder, exist_ok=True)
    files = [
        ("Pluvion.exe", b"MZ stand-in application\r\n"),
        ("a.txt", b"alpha\r\n"),
        ("sub/b.dll", b"bravo library" * 100),
        ("data/deep/weather.dat", bytes(range(256)) * 64),
        # Three lines, each run in its own interpreter, in order, in the install folder.
        ("LiveUpdate.bat", b"echo first>>order.log\r\necho second>>order.log\r\necho third>>order.log\r\n"),
    ]
    with zipfile.ZipFile(os.path.join(folder, "pluvionfull.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files:
            z.writestr(name, data)
    # The same package a second time, names in other letter case, one file more.
    with zipfile.ZipFile(os.path.join(folder, "second.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files:
            if name != "LiveUpdate.bat":
                z.writestr(name.upper() if name == "a.txt" else name, data)
        z.writestr("new.txt", b"new\r\n")
    # One folder in several spellings, at two depths.
    with zipfile.ZipFile(os.path.join(folder, "cases.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("Data/one.txt", b"one\r\n")
        z.writestr("data/two.txt", b"two\r\n")
        z.writestr("DATA/Deep/three.txt", b"three\r\n")
        z.writestr("data/deep/four.txt", b"four\r\n")
    # A package without the batch file.
    with zipfile.ZipFile(os.path.join(folder, "nobatch.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in files:
            if name != "LiveUpdate.bat":
                z.writestr(name, data)
    # A package whose second entry fails its CRC-32: the stored CRC of "a.txt" is flipped in
    # both its local header and its central record.
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_STORED) as z:
        for name, data in files[:3]:
            z.writestr(name, data)
    raw = bytearray(buf.getvalue())
    info = zipfile.ZipFile(io.BytesIO(bytes(raw))).getinfo("a.txt")
    crc = info.CRC.to_bytes(4, "little")
    bad = (info.CRC ^ 0x00010000).to_bytes(4, "little")
    start = 0
    while True:
        i = raw.find(crc, start)
        if i < 0:
            break
        raw[i:i + 4] = bad
        start = i + 4
    with open(os.path.join(folder, "corrupt.zip"), "wb") as f:
        f.write(raw)
    # A package large enough that its first 40 % are many watch thresholds: stored noise.
    with zipfile.ZipFile(os.path.join(folder, "big.zip"), "w", zipfile.ZIP_STORED) as z:
        z.writestr("Pluvion.exe", b"MZ stand-in application\r\n")
        z.writestr("noise.bin", bytes((i * 7919 + i // 251) & 0xFF for i in range(300000)))
    with open(os.path.join(folder, "notzip.zip"), "wb") as f:
        f.write(b"this is not an archive at all" * 10)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    folder = "."
    stall = 5.0

    def log_message(self, fmt, *args):
        pass

    def send_raw(self, data):
        self.wfile.write(data)
        self.wfile.flush()

    def resume_answer(self, kind, data, second):
        """A later request of /resume/KIND/NAME:
          range       Range with If-Range "v1" gets the rest as 206; anything else the whole file
          changed     the file is now the package "second.zip" (ETag "v2"), whole as 200
          ignore      the whole file as 200, Range or not
          bad_start   a 206 that begins one byte after the asked start
          bad_total   a 206 whose total is one more than the file's length
          cut_always  a 206 head, then a reset before any byte of it
          stall       a 206 head and 10 bytes, then silence for --stall seconds
          chunk_cut   (the first answer was chunked and cut before its end) the whole file chunked
        """
        tag = '"v1"'
        if kind == "changed":
            data, tag = second, '"v2"'
        asked = self.headers.get("Range", "")
        if kind == "chunk_cut" or kind == "ignore" or not asked.startswith("bytes=") or \
                self.headers.get("If-Range") != tag:
            return self.send_whole(data, tag, chunked=kind == "chunk_cut")
        start = int(asked[6:].rstrip("-"))
        first = start + (1 if kind == "bad_start" else 0)
        total = len(data) + (1 if kind == "bad_total" else 0)
        head = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes %d-%d/%d\r\nContent-Length: %d\r\n" \
               "ETag: %s\r\n\r\n" % (first, len(data) - 1, total, len(data) - first, tag)
        self.close_connection = True
        if kind == "cut_always":
            self.send_raw(head.encode())
            return self.reset()
        if kind == "stall":
            self.send_raw(head.encode() + data[first:first + 10])
            time.sleep(self.stall)
            return
        self.send_raw(head.encode() + data[first:])

    def send_whole(self, data, tag, chunked=False, cut=None):
        """The whole file as 200 with its ETag, or its first CUT bytes and a close."""
        self.close_connection = True
        if chunked:
            body = data if cut is None else data[:cut]
            self.send_raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nETag: %s\r\n\r\n%x\r\n%s\r\n%s"
                          % (tag.encode(), len(body), body, b"0\r\n\r\n" if cut is None else b""))
            return
        head = b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nETag: %s\r\n\r\n" % (len(data), tag.encode())
        self.send_raw(head + (data if cut is None else data[:cut]))

    def reset(self):
        # Time for the bytes to reach the client, then a reset in place of the close: a zero
        # linger time makes close() send RST.
        time.sleep(0.2)
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()

    def do_GET(self):
        if self.path.startswith("/ranges/"):
            with LOCK:
                body = "".join(a + " " + b + "\n" for a, b in RANGES.get(self.path[7:], [])).encode()
            return self.reply(200, body)
        with LOCK:
            asked = RANGES.setdefault(self.path, [])
            asked.append((self.headers.get("Range", "-"), self.headers.get("If-Range", "-")))
            count = len(asked)
        parts = self.path.split("/", 2)
        kind = parts[1] if len(parts) > 1 else ""
        name = parts[2] if len(parts) > 2 else ""
        ending = ""
        if kind in ("nolength", "resume") and "/" in name:
            ending, name = name.split("/", 1)
        if kind == "notice":
            with LOCK:
                NOTICES.append(self.path)
            return self.reply(200, b"ok")
        if kind == "notices":
            with LOCK:
                body = "".join(p + "\n" for p in NOTICES).encode()
            return self.reply(200, body)
        if kind == "missing":
            return self.reply(404, b"<html>not here</html>", reason="Not Found")
        if kind == "empty":
            return self.reply(200, b"")
        path = os.path.join(self.folder, os.path.basename(name))
        if not os.path.isfile(path):
            return self.reply(404, b"no such package", reason="Not Found")
        with open(path, "rb") as f:
            data = f.read()
        if kind == "pkg":
            return self.reply(200, data)
        if kind == "raw":
            self.send_raw(data)
            self.close_connection = True
            return
        if kind == "truncated":
            self.send_raw(b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n" + data[:600])
            self.close_connection = True
            return
        if kind == "nolength":
            how, _, short = ending.partition("-")
            self.send_raw(b"HTTP/1.0 200 OK\r\nContent-Type: application/zip\r\n\r\n" + data[:len(data) - int(short or 0)])
            self.close_connection = True
            if how == "reset":
                self.reset()
            return
        if kind == "resume":
            resume = ending.split(".")[0]
            if count == 1:
                return self.send_whole(data, '"v1"', chunked=resume == "chunk_cut", cut=len(data) * 2 // 5)
            with open(os.path.join(self.folder, "second.zip"), "rb") as f:
                return self.resume_answer(resume, data, f.read())
        if kind == "slow":
            self.send_raw(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(data))
            for at in range(0, len(data), 256):
                self.send_raw(data[at:at + 256])
                time.sleep(0.002)
            return
        if kind == "cutreset":
            self.send_raw(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(data) + data[:len(data) * 3 // 5])
            self.close_connection = True
            return self.reset()
        if kind == "stall0":
            self.send_raw(b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n")
            time.sleep(self.stall)
            self.close_connection = True
            return
        if kind == "stall":
            self.send_raw(b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\n" + data[:10])
            time.sleep(self.stall)
            self.close_connection = True
            return
        self.reply(404, b"unknown", reason="Not Found")

    def reply(self, code, body, reason=None):
        self.send_response(code, reason)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.send_raw(body)


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--port-file", required=True)
    ap.add_argument("--dir", required=True)
    ap.add_argument("--lifetime", type=float, default=900)
    ap.add_argument("--stall", type=float, default=5)
    args = ap.parse_args()
    build_packages(args.dir)
    Handler.folder = args.dir
    Handler.stall = args.stall
    server = Server(("127.0.0.1", 0), Handler)
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(tmp, args.port_file)
    threading.Timer(args.lifetime, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
