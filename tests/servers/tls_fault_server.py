#!/usr/bin/env python3
"""TLS servers that misbehave, for the client's TLS tests (standard library only, 127.0.0.1).

Writes "TLS PLAIN STALL" to --port-file:
  TLS    TLS with --cert/--key; the request path names the answer:
           /cut        Content-Length 1000, 600 bytes, then the TCP close without close_notify
           /nolength   no length, 500 bytes, then the TCP close without close_notify
           /clean      no length, 500 bytes, then close_notify and the close
  PLAIN  plain HTTP where TLS is expected: "400 Bad Request" to whatever arrives, then the close
  STALL  accepts and never answers: a handshake that stalls
Stops on SIGTERM or after --lifetime seconds.
"""
import argparse
import signal
import socket
import ssl
import sys
import threading
import time

BODY = bytes((i * 13 + 5) & 0xFF for i in range(1000))


def read_head(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        piece = conn.recv(4096)
        if not piece:
            break
        data += piece
    return data


LOG = None


def log(line):
    if LOG:
        with open(LOG, "a") as f:
            f.write(line + "\n")


def serve_tls(conn, context):
    try:
        tls = context.wrap_socket(conn, server_side=True)
    except (ssl.SSLError, OSError):
        conn.close()
        return
    try:
        head = read_head(tls)
        path = head.split(b" ")[1] if head.count(b" ") >= 2 else b"/"
        if path == b"/cut":
            tls.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + BODY[:600])
        elif path in (b"/nolength", b"/clean"):
            tls.sendall(b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + BODY[:500])
            if path == b"/clean":
                # unwrap() sends close_notify and waits for the client's.
                tls.settimeout(5)
                tls = tls.unwrap()
                log("clean: close_notify answered")
        else:
            tls.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")
        time.sleep(0.05)
    except (ssl.SSLError, OSError):
        pass
    # A socket closed without unwrap() sends no close_notify.
    tls.close()


def serve_plain(conn):
    try:
        conn.recv(4096)
        conn.sendall(b"HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
    except OSError:
        pass
    conn.close()


def listener():
    s = socket.socket()
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.bind(("127.0.0.1", 0))
    s.listen(16)
    return s


def accept_loop(sock, handle, held):
    while True:
        conn, _ = sock.accept()
        if handle is None:
            held.append(conn)  # never answered, closed at exit
            continue
        threading.Thread(target=handle, args=(conn,), daemon=True).start()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--lifetime", type=float, default=600)
    parser.add_argument("--log")
    args = parser.parse_args()
    global LOG
    LOG = args.log
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    tls, plain, stall = listener(), listener(), listener()
    held = []
    threading.Thread(target=accept_loop, args=(tls, lambda c: serve_tls(c, context), held), daemon=True).start()
    threading.Thread(target=accept_loop, args=(plain, serve_plain, held), daemon=True).start()
    threading.Thread(target=accept_loop, args=(stall, None, held), daemon=True).start()
    with open(args.port_file + ".tmp", "w") as f:
        f.write("%d %d %d\n" % (tls.getsockname()[1], plain.getsockname()[1], stall.getsockname()[1]))
    import os
    os.replace(args.port_file + ".tmp", args.port_file)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    time.sleep(args.lifetime)


if __name__ == "__main__":
    main()
