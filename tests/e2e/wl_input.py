#!/usr/bin/python3
"""Input and screenshots on headless Wayland compositors, spoken directly on the socket:
KWin's fake-input protocol, or wlroots' virtual pointer (sway; keys there come from wtype).

  wl_input.py click X Y [COUNT]   moves the pointer there and clicks the left button
  wl_input.py keys COMBO...       KWin: presses each combination, e.g. ctrl+shift+k end
  wl_input.py shot FILE.png       KWin: the whole screen, through its ScreenShot2 service
"""

import os
import socket
import struct
import subprocess
import sys
import time

# Linux input key codes.
KEYS = {"ctrl": 29, "shift": 42, "end": 107}
for row, first in (("qwertyuiop", 16), ("asdfghjkl", 30), ("zxcvbnm", 44)):
    KEYS.update((c, first + i) for i, c in enumerate(row))
BTN_LEFT = 0x110


def string(text):
    data = text.encode() + b"\0"
    return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)


class Input:
    def __init__(self):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ.get("WAYLAND_DISPLAY", "wayland-0")))
        self.next_id, self.inbox = 2, b""
        registry = self.new_id()
        self.send(1, 1, struct.pack("<I", registry))  # wl_display.get_registry
        offered = {}
        for obj, op, body in self.roundtrip():
            if obj == registry and op == 0:  # global: name, interface, version
                length = struct.unpack_from("<I", body, 4)[0]
                version = struct.unpack_from("<I", body, 8 + length + (-length % 4))[0]
                offered[body[8:7 + length].decode()] = (struct.unpack_from("<I", body)[0], version)

        def bind(interface, version):
            name, most = offered[interface]
            new = self.new_id()
            self.send(registry, 0, struct.pack("<I", name) + string(interface)
                      + struct.pack("<II", min(most, version), new))
            return new
        self.fake = self.pointer = None
        if "org_kde_kwin_fake_input" in offered:
            self.fake = bind("org_kde_kwin_fake_input", 4)
            self.send(self.fake, 0, string("zorvane-e2e") + string("end-to-end test"))  # authenticate
        elif "zwlr_virtual_pointer_manager_v1" in offered:
            manager = bind("zwlr_virtual_pointer_manager_v1", 1)
            self.pointer = self.new_id()
            self.send(manager, 0, struct.pack("<II", 0, self.pointer))  # on the default seat
        else:
            sys.exit("wl_input.py: the compositor offers no input injection")

    def new_id(self):
        self.next_id += 1
        return self.next_id - 1

    def send(self, obj, opcode, payload=b""):
        self.sock.sendall(struct.pack("<II", obj, ((8 + len(payload)) << 16) | opcode) + payload)

    def roundtrip(self):
        """The events up to the answer of a wl_display.sync: all sent before is done."""
        callback = self.new_id()
        self.send(1, 0, struct.pack("<I", callback))
        events = []
        while True:
            while len(self.inbox) >= 8:
                obj, word = struct.unpack_from("<II", self.inbox)
                if len(self.inbox) < word >> 16:
                    break
                body, self.inbox = self.inbox[8:word >> 16], self.inbox[word >> 16:]
                if obj == 1 and word & 0xFFFF == 0:
                    sys.exit("wl_input.py: protocol error %r" % body)
                if obj == callback:
                    return events
                events.append((obj, word & 0xFFFF, body))
            data = self.sock.recv(65536)
            if not data:
                sys.exit("wl_input.py: the compositor closed the connection")
            self.inbox += data

    def click(self, x, y):
        now = int(time.monotonic() * 1000) & 0xFFFFFFFF
        if self.fake:  # pointer_motion_absolute, button
            self.send(self.fake, 9, struct.pack("<ii", int(x * 256), int(y * 256)))
        else:  # motion_absolute in the output's extent, button, each with a frame
            self.send(self.pointer, 1, struct.pack("<IIIII", now, int(x), int(y), 1024, 768))
            self.send(self.pointer, 4)
        self.roundtrip()
        time.sleep(0.05)
        for state in (1, 0):
            if self.fake:
                self.send(self.fake, 2, struct.pack("<II", BTN_LEFT, state))
            else:
                self.send(self.pointer, 2, struct.pack("<III", now, BTN_LEFT, state))
                self.send(self.pointer, 4)
        self.roundtrip()

    def keys(self, combo):
        codes = [KEYS[k] for k in combo.split("+")]
        for code, down in [(c, 1) for c in codes] + [(c, 0) for c in reversed(codes)]:
            self.send(self.fake, 10, struct.pack("<II", code, down))
        self.roundtrip()


def shot(path):
    import dbus  # only here: input needs no bus
    kwin = dbus.SessionBus().get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2")
    read_end, write_end = os.pipe()
    info = kwin.CaptureActiveScreen({"native-resolution": True}, dbus.types.UnixFd(write_end),
                                    dbus_interface="org.kde.KWin.ScreenShot2", timeout=30)
    os.close(write_end)
    with os.fdopen(read_end, "rb") as pipe:
        data = pipe.read()
    width, height, stride = int(info["width"]), int(info["height"]), int(info["stride"])
    rows = b"".join(data[r * stride:r * stride + width * 4] for r in range(height))
    # QImage's 32-bit formats: B, G, R, A in memory.
    subprocess.run(["convert", "-size", "%dx%d" % (width, height), "-depth", "8", "bgra:-",
                    "-alpha", "off", path], input=rows, check=True)


def main(command, *args):
    if command == "shot":
        return shot(args[0])
    device = Input()
    if command == "click":
        for _ in range(int(args[2]) if len(args) > 2 else 1):
            device.click(float(args[0]), float(args[1]))
            time.sleep(0.2)
    elif command == "keys":
        for combo in args:
            device.keys(combo)
            time.sleep(0.1)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    main(*sys.argv[1:])
