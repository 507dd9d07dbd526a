#!/usr/bin/python3
"""wl_proxy.py NAME [HIDDEN_INTERFACE]: a Wayland socket NAME in XDG_RUNTIME_DIR that
passes each client on to the compositor of WAYLAND_DISPLAY (file descriptors included),
hiding one global interface if asked: a compositor without, say, a layer shell. Killing
it cuts every client's connection at once. Prints "ready" once it listens."""

import array
import os
import selectors
import socket
import struct
import sys

RUNTIME = os.environ["XDG_RUNTIME_DIR"]


class Connection:
    """One client and its own connection to the compositor."""

    def __init__(self, client, hidden):
        self.client, self.hidden, self.registries = client, hidden, set()
        self.server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.server.connect(os.path.join(RUNTIME, os.environ["WAYLAND_DISPLAY"]))
        self.pending = {client: b"", self.server: b""}

    def keep(self, sock, message):
        """False for the announcement of the hidden global."""
        obj, word = struct.unpack_from("<II", message)
        if sock is self.client and obj == 1 and word & 0xFFFF == 1:  # wl_display.get_registry
            self.registries.add(struct.unpack_from("<I", message, 8)[0])
        if sock is self.server and obj in self.registries and word & 0xFFFF == 0:  # wl_registry.global
            length = struct.unpack_from("<I", message, 12)[0]
            return message[16:15 + length].decode() != self.hidden
        return True

    def forward(self, sock):
        """Passes on the whole messages read; False once either side has gone."""
        try:
            data, ancillary, _, _ = sock.recvmsg(65536, socket.CMSG_LEN(28 * 4))
        except OSError:
            return False
        if not data:
            return False
        fds = array.array("i")
        for level, kind, payload in ancillary:
            if level == socket.SOL_SOCKET and kind == socket.SCM_RIGHTS:
                fds.frombytes(payload[:len(payload) - len(payload) % 4])
        data, out = self.pending[sock] + data, b""
        while len(data) >= 8:
            size = struct.unpack_from("<I", data, 4)[0] >> 16
            if size < 8 or len(data) < size:
                break
            if self.keep(sock, data[:size]):
                out += data[:size]
            data = data[size:]
        self.pending[sock] = data
        other = self.server if sock is self.client else self.client
        try:
            if out or fds:
                other.sendmsg([out], [(socket.SOL_SOCKET, socket.SCM_RIGHTS, fds)] if fds else [])
        except OSError:
            return False
        finally:
            for fd in fds:
                os.close(fd)
        return True


def main(name, hidden=None):
    path = os.path.join(RUNTIME, name)
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
                connection = Connection(listener.accept()[0], hidden)
                for sock in (connection.client, connection.server):
                    selector.register(sock, selectors.EVENT_READ, connection)
            elif not key.data.forward(key.fileobj):
                for sock in (key.data.client, key.data.server):
                    selector.unregister(sock)
                    sock.close()


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    main(*sys.argv[1:3])
