#!/usr/bin/python3
"""Input and screenshots on headless Wayland compositors for the end-to-end tests,
spoken directly on the Wayland socket: KWin's fake-input protocol (keys and
pointer), or wlroots' virtual pointer (sway; keys there come from wtype).
Screenshots through KWin's ScreenShot2 D-Bus service.

  wl_input.py click X Y [COUNT]      moves the pointer there and clicks the left button
  wl_input.py keys COMBO...          KWin: presses each combination, e.g. ctrl+shift+k x
  wl_input.py shot FILE.png          KWin: the whole screen
"""

import os
import socket
import struct
import subprocess
import sys
import tempfile
import time

# Linux input key codes.
KEYS = {"ctrl": 29, "shift": 42, "alt": 56, "space": 57, "enter": 28, "end": 107}
KEYS.update({c: code for c, code in zip("qwertyuiop", range(16, 26))})
KEYS.update({c: code for c, code in zip("asdfghjkl", range(30, 39))})
KEYS.update({c: code for c, code in zip("zxcvbnm", range(44, 51))})
BTN_LEFT = 0x110


class Input:
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
        self.fake = self.pointer = None
        if "org_kde_kwin_fake_input" in globals_:
            self.fake = self.bind(registry, globals_, "org_kde_kwin_fake_input", 4)
            self.send(self.fake, 0, self.string("zorvane-e2e") + self.string("end-to-end test"))
        elif "zwlr_virtual_pointer_manager_v1" in globals_:
            manager = self.bind(registry, globals_, "zwlr_virtual_pointer_manager_v1", 1)
            self.pointer = self.new_id()
            self.send(manager, 0, struct.pack("<II", 0, self.pointer))  # on the default seat
        else:
            sys.exit("wl_input.py: the compositor offers no input injection")

    def bind(self, registry, globals_, interface, version):
        name, offered = globals_[interface]
        new = self.new_id()
        self.send(registry, 0, struct.pack("<I", name) + self.string(interface)
                  + struct.pack("<II", min(offered, version), new))
        return new

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
                    sys.exit("wl_input.py: protocol error %r" % body)
                if obj == callback:
                    return events
                events.append((obj, word & 0xFFFF, body))
            data = self.sock.recv(65536)
            if not data:
                sys.exit("wl_input.py: the compositor closed the connection")
            self.inbox += data

    def key(self, code, down):
        self.send(self.fake, 10, struct.pack("<II", code, 1 if down else 0))

    def click(self, x, y, width=1024, height=768):
        if self.fake:
            self.send(self.fake, 9, struct.pack("<ii", int(x * 256), int(y * 256)))
        else:  # motion_absolute and frame, in the output's extent
            self.send(self.pointer, 1, struct.pack("<IIIII", self.now(), int(x), int(y), width, height))
            self.send(self.pointer, 4)
        self.roundtrip()
        time.sleep(0.05)
        for state in (1, 0):
            if self.fake:
                self.send(self.fake, 2, struct.pack("<II", BTN_LEFT, state))
            else:
                self.send(self.pointer, 2, struct.pack("<III", self.now(), BTN_LEFT, state))
                self.send(self.pointer, 4)
        self.roundtrip()

    @staticmethod
    def now():
        return int(time.monotonic() * 1000) & 0xFFFFFFFF


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
    fake = Input()
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
