#!/usr/bin/python3
"""xkeys.py KEY: holds Ctrl+Shift+KEY on the root window, as another program's hotkey
would (libX11 through ctypes). Prints "grabbed" once the server accepted the grab (or
"refused" and exits 1), then "press" for every press it receives, until killed."""

import ctypes
import sys

SHIFT, LOCK, CONTROL, MOD2 = 1, 2, 4, 16  # Mod2 is NumLock on the test server
KEY_PRESS = 2
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XDefaultRootWindow.restype = x.XStringToKeysym.restype = ctypes.c_ulong
x.XKeysymToKeycode.restype = ctypes.c_ubyte
x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong] + [ctypes.c_int] * 3
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
errors = []


@ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
def on_error(_display, _event):  # the default handler would end the process on a refused grab
    errors.append(1)
    return 0


display = x.XOpenDisplay(None)
if not display:
    sys.exit("xkeys: cannot open the display")
x.XSetErrorHandler(on_error)
code = x.XKeysymToKeycode(display, x.XStringToKeysym(sys.argv[1].encode()))
for extra in (0, LOCK, MOD2, LOCK | MOD2):  # every lock combination, as a hotkey program does
    x.XGrabKey(display, code, SHIFT | CONTROL | extra, x.XDefaultRootWindow(display), 0, 1, 1)
x.XSync(display, 0)
print("refused" if errors else "grabbed", flush=True)
if errors:
    sys.exit(1)
event = ctypes.create_string_buffer(256)  # larger than any XEvent
while True:
    x.XNextEvent(display, event)
    if ctypes.c_int.from_buffer(event).value == KEY_PRESS:
        print("press", flush=True)
