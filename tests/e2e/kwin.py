#!/usr/bin/python3
"""Drives a headless KWin for the end-to-end tests: input through KWin's fake-input
protocol (spoken here directly on the Wayland socket), screenshots through its
ScreenShot2 D-Bus service.

  kwin.py click X Y [COUNT]      moves the pointer there and clicks the left button
  kwin.py keys COMBO...          presses each combination, e.g. ctrl+shift+k x
  kwin.py shot FILE.png          the whole screen
  kwin.py code KEY               prints the key's code, as clients receive it
"""

import os
import socket
import struct
import subprocess
import sys
import tempfile
import time

# Linux input key codes.
KEYS = {"ctrl": 29, "shift": 42, "alt": 56, "space": 57, "enter": 28, "home": 102, "end": 107}
KEYS.update({c: code for c, code in zip("qwertyuiop", range(16, 26))})
KEYS.update({c: code for c, code in zip("asdfghjkl", range(30, 39))})
KEYS.update({c: code for c, code in zip("zxcvbnm", range(44, 51))})
BTN_LEFT = 0x110


class FakeInput:
    def __init__(self):
        path = os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ.get("WAYLAND_DISPLAY", "wayland-0"))
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(path)
        self.next_id = 2
        self.inbox = b""
        registry = self.new_id()
        self.send(1, 1, struct.pack("<I", registry))  # wl_display.get_registry
        globals_ = {}
        for obj, op, body in self.roundtrip():
            if obj == registry and op == 0:
                name, = struct.unpack_from("<I", body)
                interface, rest = self.unstring(body[4:])
                globals_[interface] = (name, struct.unpack_from("<I", rest)[0])
        if "org_kde_kwin_fake_input" not in globals_:
            sys.exit("kwin.py: the compositor offers no fake input")
        name, version = globals_["org_kde_kwin_fake_input"]
        self.fake = self.new_id()
        self.send(registry, 0, struct.pack("<I", name) + self.string("org_kde_kwin_fake_input")
                  + struct.pack("<II", min(version, 4), self.fake))
        self.send(self.fake, 0, self.string("zorvane-e2e") + self.string("end-to-end test"))

    def new_id(self):
        self.next_id += 1
        return self.next_id - 1

    @staticmethod
    def string(text):
        data = text.encode() + b"\0"
        return struct.pack("<I", len(data)) + data + b"\0" * (-len(data) % 4)

    @staticmethod
    def unstring(body):
        length, = struct.unpack_from("<I", body)
        return body[4:4 + length - 1].decode(), body[4 + length + (-length % 4):]

    def send(self, obj, opcode, payload=b""):
        self.sock.sendall(struct.pack("<II", obj, ((8 + len(payload)) << 16) | opcode) + payload)

    def roundtrip(self):
        """Events up to the answer of a wl_display.sync: everything sent before is done."""
        callback = self.new_id()
        self.send(1, 0, struct.pack("<I", callback))
        events = []
        while True:
            while len(self.inbox) >= 8:
                obj, word = struct.unpack_from("<II", self.inbox)
                size = word >> 16
                if len(self.inbox) < size:
                    break
                body, self.inbox = self.inbox[8:size], self.inbox[size:]
                if obj == 1 and (word & 0xFFFF) == 0:
                    sys.exit("kwin.py: protocol error %r" % body)
                if obj == callback:
                    return events
                events.append((obj, word & 0xFFFF, body))
            data = self.sock.recv(65536)
            if not data:
                sys.exit("kwin.py: the compositor closed the connection")
            self.inbox += data

    def key(self, code, down):
        self.send(self.fake, 10, struct.pack("<II", code, 1 if down else 0))

    def click(self, x, y):
        self.send(self.fake, 9, struct.pack("<ii", int(x * 256), int(y * 256)))
        self.roundtrip()
        time.sleep(0.05)
        self.send(self.fake, 2, struct.pack("<II", BTN_LEFT, 1))
        self.send(self.fake, 2, struct.pack("<II", BTN_LEFT, 0))
        self.roundtrip()


def shot(path):
    import dbus  # only here: input needs no bus
    kwin = dbus.SessionBus().get_object("org.kde.KWin", "/org/kde/KWin/ScreenShot2")
    read_end, write_end = os.pipe()
    info = kwin.CaptureActiveScreen({"native-resolution": True}, dbus.types.UnixFd(write_end),
                                    dbus_interface="org.kde.KWin.ScreenShot2", timeout=30)
    os.close(write_end)
    data = b""
    while chunk := os.read(read_end, 1 << 20):
        data += chunk
    os.close(read_end)
    width, height, stride = int(info["width"]), int(info["height"]), int(info["stride"])
    rows = b"".join(data[r * stride:r * stride + width * 4] for r in range(height))
    with tempfile.NamedTemporaryFile(suffix=".bgra") as raw:
        raw.write(rows)
        raw.flush()
        # QImage's 32-bit formats: B, G, R, A in memory.
        subprocess.run(["convert", "-size", "%dx%d" % (width, height), "-depth", "8",
                        "bgra:" + raw.name, "-alpha", "off", path], check=True)


def main(args):
    if args[:1] == ["shot"]:
        return shot(args[1])
    if args[:1] == ["code"]:
        return print(KEYS[args[1]])
    fake = FakeInput()
    if args[:1] == ["click"]:
        for _ in range(int(args[3]) if len(args) > 3 else 1):
            fake.click(float(args[1]), float(args[2]))
            time.sleep(0.2)
    elif args[:1] == ["keys"]:
        for combo in args[1:]:
            codes = [KEYS[k] for k in combo.split("+")]
            for code in codes:
                fake.key(code, True)
            for code in reversed(codes):
                fake.key(code, False)
            fake.roundtrip()
            time.sleep(0.1)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
