#!/usr/bin/python3
"""wl_proxy.py NAME [HIDDEN_INTERFACE]

A Wayland socket NAME in XDG_RUNTIME_DIR that passes each client on to the
compositor of WAYLAND_DISPLAY, file descriptors included, and hides one global
interface from the clients if asked: a compositor without, say, a layer shell.
Killing the proxy cuts every client's connection at once. Prints "ready" once
it listens.
"""

import array
import os
import selectors
import socket
import struct
import sys

RUNTIME = os.environ["XDG_RUNTIME_DIR"]
MAX_FDS = 28


class Connection:
    """One client and its own connection to the compositor."""

    def __init__(self, client, hidden):
        self.client = client
        self.server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.server.connect(os.path.join(RUNTIME, os.environ["WAYLAND_DISPLAY"]))
        self.hidden = hidden
        self.registries = set()
        self.pending = {client: b"", self.server: b""}

    def messages(self, sock, data):
        """Complete messages so far, and what is left of a partial one."""
        data = self.pending[sock] + data
        out = []
        while len(data) >= 8:
            size = struct.unpack_from("<I", data, 4)[0] >> 16
            if size < 8 or len(data) < size:
                break
            out.append(data[:size])
            data = data[size:]
        self.pending[sock] = data
        return out

    def keep(self, sock, message):
        obj, word = struct.unpack_from("<II", message)
        if sock is self.client and obj == 1 and word & 0xFFFF == 1:  # wl_display.get_registry
            self.registries.add(struct.unpack_from("<I", message, 8)[0])
        if sock is self.server and obj in self.registries and word & 0xFFFF == 0 and self.hidden:
            length = struct.unpack_from("<I", message, 12)[0]
            return message[16:16 + length - 1].decode() != self.hidden
        return True

    def forward(self, sock):
        """False once either side has gone."""
        try:
            data, ancillary, _, _ = sock.recvmsg(65536, socket.CMSG_LEN(MAX_FDS * 4))
        except OSError:
            return False
        if not data:
            return False
        fds = array.array("i")
        for level, kind, payload in ancillary:
            if level == socket.SOL_SOCKET and kind == socket.SCM_RIGHTS:
                fds.frombytes(payload[:len(payload) - len(payload) % 4])
        data = b"".join(m for m in self.messages(sock, data) if self.keep(sock, m))
        other = self.server if sock is self.client else self.client
        try:
            if data or fds:
                other.sendmsg([data], [(socket.SOL_SOCKET, socket.SCM_RIGHTS, fds)] if fds else [])
        except OSError:
            return False
        finally:
            for fd in fds:
                os.close(fd)
        return True


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    path = os.path.join(RUNTIME, sys.argv[1])
    hidden = sys.argv[2] if len(sys.argv) > 2 else None
    if os.path.exists(path):
        os.unlink(path)
    listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    listener.bind(path)
    listener.listen()
    selector = selectors.DefaultSelector()
    selector.register(listener, selectors.EVENT_READ)
    print("ready", flush=True)
    while True:
        for key, _ in selector.select():
            if key.fileobj is listener:
                client, _ = listener.accept()
                connection = Connection(client, hidden)
                selector.register(client, selectors.EVENT_READ, connection)
                selector.register(connection.server, selectors.EVENT_READ, connection)
            elif not key.data.forward(key.fileobj):
                for sock in (key.data.client, key.data.server):
                    selector.unregister(sock)
                    sock.close()


if __name__ == "__main__":
    main()
