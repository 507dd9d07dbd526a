#!/usr/bin/python3
"""Small X keyboard helpers for the end-to-end tests, on libX11 through ctypes
(python3 alone: no extra package).

    xkeys.py grab KEY    holds Ctrl+Shift+KEY on the root window, as another
                         program's global hotkey would: prints "grabbed" once
                         the server has accepted the grab (or "refused" and
                         exits 1), then "press" for every press it receives,
                         until it is killed.
    xkeys.py locks       prints the lock modifiers now on: "caps", "num", both
                         or "none".
"""

import ctypes
import sys

SHIFT_MASK = 1 << 0
LOCK_MASK = 1 << 1
CONTROL_MASK = 1 << 2
KEY_PRESS = 2
GRAB_MODE_ASYNC = 1
BAD_ACCESS = 10
NUM_LOCK_KEYSYM = 0xFF7F

x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XStringToKeysym.restype = ctypes.c_ulong
x.XStringToKeysym.argtypes = [ctypes.c_char_p]
x.XKeysymToKeycode.restype = ctypes.c_ubyte
x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong,
                       ctypes.c_int, ctypes.c_int, ctypes.c_int]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
x.XQueryPointer.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 7


class XModifierKeymap(ctypes.Structure):
    _fields_ = [("max_keypermod", ctypes.c_int), ("modifiermap", ctypes.POINTER(ctypes.c_ubyte))]


x.XGetModifierMapping.restype = ctypes.POINTER(XModifierKeymap)
x.XGetModifierMapping.argtypes = [ctypes.c_void_p]
x.XFreeModifiermap.argtypes = [ctypes.POINTER(XModifierKeymap)]


class XErrorEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("display", ctypes.c_void_p),
                ("resourceid", ctypes.c_ulong), ("serial", ctypes.c_ulong),
                ("error_code", ctypes.c_ubyte), ("request_code", ctypes.c_ubyte),
                ("minor_code", ctypes.c_ubyte)]


ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(XErrorEvent))
errors = []


@ERROR_HANDLER
def on_error(_display, event):
    # The default handler would end the process on the first refused grab.
    errors.append(event.contents.error_code)
    return 0


def open_display():
    display = x.XOpenDisplay(None)
    if not display:
        print("xkeys: cannot open the display", file=sys.stderr)
        sys.exit(2)
    return display


def num_lock_mask(display):
    """The modifier bit that NumLock sets (Mod2 on most layouts), or 0."""
    code = x.XKeysymToKeycode(display, NUM_LOCK_KEYSYM)
    mapping = x.XGetModifierMapping(display)
    per = mapping.contents.max_keypermod
    mask = 0
    for modifier in range(8):
        for i in range(per):
            if code and mapping.contents.modifiermap[modifier * per + i] == code:
                mask = 1 << modifier
    x.XFreeModifiermap(mapping)
    return mask


def grab(key):
    display = open_display()
    x.XSetErrorHandler(on_error)
    keysym = x.XStringToKeysym(key.encode())
    code = x.XKeysymToKeycode(display, keysym) if keysym else 0
    if not code:
        print("xkeys: no key for %r" % key, file=sys.stderr)
        return 2
    root = x.XDefaultRootWindow(display)
    num = num_lock_mask(display)
    # Every lock combination, as a hotkey program does, so that the combination
    # is taken whatever the lock keys say.
    for extra in {0, LOCK_MASK, num, LOCK_MASK | num}:
        x.XGrabKey(display, code, SHIFT_MASK | CONTROL_MASK | extra, root, 0,
                   GRAB_MODE_ASYNC, GRAB_MODE_ASYNC)
    x.XSync(display, 0)
    if errors:
        print("refused (X error %d)" % errors[0], flush=True)
        return 1
    print("grabbed", flush=True)
    event = ctypes.create_string_buffer(256)  # larger than any XEvent
    while True:
        x.XNextEvent(display, event)
        if ctypes.c_int.from_buffer(event).value == KEY_PRESS:
            print("press", flush=True)


def locks():
    display = open_display()
    num = num_lock_mask(display)
    root_return = ctypes.c_ulong()
    child = ctypes.c_ulong()
    coords = [ctypes.c_int() for _ in range(4)]
    mask = ctypes.c_uint()
    x.XQueryPointer(display, x.XDefaultRootWindow(display), ctypes.byref(root_return),
                    ctypes.byref(child), *(ctypes.byref(c) for c in coords), ctypes.byref(mask))
    on = []
    if mask.value & LOCK_MASK:
        on.append("caps")
    if num and mask.value & num:
        on.append("num")
    print(" ".join(on) or "none")
    return 0


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "grab":
        return grab(sys.argv[2])
    if len(sys.argv) == 2 and sys.argv[1] == "locks":
        return locks()
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
