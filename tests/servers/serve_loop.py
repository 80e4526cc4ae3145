"""The accept loop of the test servers: each connection handled on a thread of its own until the
server's lifetime is over, SIGTERM ending the process at once."""
import os
import signal
import socket
import threading
import time


def write_port_file(path, ports):
    """Writes the ports, blank-separated, atomically: a reader never sees half a line."""
    temp = path + ".tmp"
    with open(temp, "w") as f:
        f.write(" ".join("%d" % port for port in ports) + "\n")
    os.replace(temp, path)


def serve_until(listener, lifetime, handle, *args):
    """Calls handle(conn, *args) on a thread for each accepted connection, for lifetime seconds."""
    signal.signal(signal.SIGTERM, lambda *_: os._exit(0))
    deadline = time.monotonic() + lifetime
    listener.settimeout(1.0)
    while time.monotonic() < deadline:
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            continue
        threading.Thread(target=handle, args=(conn,) + args, daemon=True).start()
