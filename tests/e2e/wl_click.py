#!/usr/bin/python3
"""Clicks on a wlroots Wayland desktop (sway) through a virtual pointer
(zwlr_virtual_pointer_v1), speaking the Wayland wire protocol directly: Debian
has no ready-made tool for it.

  wl_click.py X Y COUNT [WIDTH HEIGHT]   COUNT left clicks at X,Y on a
                                         WIDTHxHEIGHT output (1024x768)
"""
import os
import socket
import struct
import sys
import time

BTN_LEFT = 0x110


class Wayland:
    def __init__(self):
        path = os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ.get("WAYLAND_DISPLAY", "wayland-0"))
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.next_id = 2
        self.buffer = b""

    def new_id(self):
        self.next_id += 1
        return self.next_id - 1

    def send(self, obj, opcode, payload=b""):
        self.sock.sendall(struct.pack("<II", obj, ((8 + len(payload)) << 16) | opcode) + payload)

    def events(self):
        while True:
            while len(self.buffer) >= 8:
                obj, word = struct.unpack_from("<II", self.buffer)
                size = word >> 16
                if len(self.buffer) < size:
                    break
                body = self.buffer[8:size]
                self.buffer = self.buffer[size:]
                yield obj, word & 0xFFFF, body
            data = self.sock.recv(65536)
            if not data:
                return
            self.buffer += data

    def roundtrip(self, on_event=None):
        callback = self.new_id()
        self.send(1, 0, struct.pack("<I", callback))  # wl_display.sync
        for obj, opcode, body in self.events():
            if obj == callback:
                return
            if obj == 1 and opcode == 0:  # wl_display.error
                raise SystemExit("wayland error: %r" % body)
            if on_event:
                on_event(obj, opcode, body)


def string(text):
    data = text.encode() + b"\0"
    return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)


def main():
    x, y, count = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
    width, height = (int(sys.argv[4]), int(sys.argv[5])) if len(sys.argv) > 5 else (1024, 768)
    wl = Wayland()
    registry = wl.new_id()
    wl.send(1, 1, struct.pack("<I", registry))  # wl_display.get_registry
    globals_ = {}

    def on_global(obj, opcode, body):
        if obj == registry and opcode == 0:
            name, length = struct.unpack_from("<II", body)
            interface = body[8:8 + length - 1].decode()
            version = struct.unpack_from("<I", body, 8 + length + (-length % 4))[0]
            globals_[interface] = (name, version)

    wl.roundtrip(on_global)
    if "zwlr_virtual_pointer_manager_v1" not in globals_:
        raise SystemExit("the compositor offers no virtual pointer")
    manager = wl.new_id()
    name, _ = globals_["zwlr_virtual_pointer_manager_v1"]
    wl.send(registry, 0, struct.pack("<I", name) + string("zwlr_virtual_pointer_manager_v1")
            + struct.pack("<II", 1, manager))
    pointer = wl.new_id()
    wl.send(manager, 0, struct.pack("<II", 0, pointer))  # create_virtual_pointer(no seat)
    wl.roundtrip()
    time.sleep(0.5)  # clients bind the seat's new pointer
    stamp = int(time.monotonic() * 1000) & 0xFFFFFFFF
    for _ in range(count):
        wl.send(pointer, 1, struct.pack("<IIIII", stamp, x, y, width, height))  # motion_absolute
        wl.send(pointer, 4)  # frame
        wl.roundtrip()
        time.sleep(0.1)
        for state in (1, 0):
            stamp += 10
            wl.send(pointer, 2, struct.pack("<III", stamp, BTN_LEFT, state))  # button
            wl.send(pointer, 4)
            wl.roundtrip()
            time.sleep(0.05)
        time.sleep(0.2)
    wl.send(pointer, 8)  # destroy
    wl.roundtrip()


main()
