#!/usr/bin/env python3
"""Serves one folder over HTTP on 127.0.0.1 for the demo (and the uninstall suite).

  serve.py --dir FOLDER --port-file FILE [--lifetime SECONDS]
A free port is chosen and written to FILE; the server stops by itself after --lifetime seconds.
Every request is logged to standard error.
"""
import argparse
import functools
import http.server
import os
import threading


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, fmt, *args):
        super().log_message(fmt, *args)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dir", required=True)
    ap.add_argument("--port-file", required=True)
    ap.add_argument("--lifetime", type=float, default=600)
    args = ap.parse_args()
    handler = functools.partial(QuietHandler, directory=args.dir)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    tmp = args.port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(str(server.server_address[1]))
    os.replace(tmp, args.port_file)
    threading.Timer(args.lifetime, server.shutdown).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
