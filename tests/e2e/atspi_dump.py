#!/usr/bin/python3
"""Prints a running program's accessible tree, as a screen reader sees it.

One line per object, indented two spaces per level:
    role | name | text or value | states [| x,y wxh on the screen, with --extents]
The text column holds a text field's text (line breaks shown as \\r \\n) or a
scroll bar's current value. The end-to-end tests read the program's controls
from these lines.

    atspi_dump.py --pid PID [--timeout S] [--wait-for TEXT] [--extents]

--wait-for TEXT keeps reading until some line contains TEXT (the program may
still be building its windows when asked).
"""

import argparse
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

# get_text_iface / get_value_iface are marked deprecated in the bindings, yet are
# the calls libatspi documents; the warning would only clutter the test log.
warnings.filterwarnings("ignore", category=DeprecationWarning)

MAX_DEPTH = 30       # a cycle in a broken tree must not hang the test
MAX_CHILDREN = 2000  # a list of thousands of pages: the first ones tell enough


def escape(text):
    return text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n").replace("|", "\\|")


def text_or_value(acc):
    try:
        text = acc.get_text_iface()
        if text is not None:
            return escape(Atspi.Text.get_text(text, 0, Atspi.Text.get_character_count(text)))
    except Exception:  # a control may vanish while it is read
        pass
    try:
        value = acc.get_value_iface()
        if value is not None:
            v = Atspi.Value.get_current_value(value)
            return str(int(v)) if float(v).is_integer() else str(v)
    except Exception:
        pass
    return ""


def states(acc):
    try:
        found = acc.get_state_set().get_states()
    except Exception:
        return ""
    return ",".join(sorted(Atspi.StateType(s).value_nick for s in found))


def extents(acc):
    try:
        r = acc.get_extents(Atspi.CoordType.SCREEN)
    except Exception:
        return ""
    return " | %d,%d %dx%d" % (r.x, r.y, r.width, r.height)


def dump(acc, depth, out, with_extents=False):
    try:
        role = acc.get_role_name()
        name = acc.get_name() or ""
    except Exception:
        return
    out.append("%s%s | %s | %s | %s%s" % ("  " * depth, role, escape(name), text_or_value(acc), states(acc),
                                         extents(acc) if with_extents else ""))
    if depth >= MAX_DEPTH:
        return
    try:
        count = min(acc.get_child_count(), MAX_CHILDREN)
    except Exception:
        return
    for i in range(count):
        try:
            child = acc.get_child_at_index(i)
        except Exception:
            continue
        if child is not None:
            dump(child, depth + 1, out, with_extents)


def find_app(pid):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--pid", type=int, required=True, help="process id of the program")
    parser.add_argument("--timeout", type=float, default=20.0, help="seconds to wait (default 20)")
    parser.add_argument("--wait-for", default="", help="read again until a line contains this text")
    parser.add_argument("--extents", action="store_true", help="add each object's place on the screen")
    args = parser.parse_args()

    deadline = time.monotonic() + args.timeout
    lines = []
    while True:
        app = find_app(args.pid)
        if app is not None:
            lines = []
            dump(app, 0, lines, args.extents)
            if any(args.wait_for in line for line in lines) and len(lines) > 1:
                break
        if time.monotonic() >= deadline:
            break
        time.sleep(0.2)

    if not lines:
        print("atspi_dump: no accessible program with pid %d" % args.pid, file=sys.stderr)
        return 1
    print("\n".join(lines))
    if args.wait_for and not any(args.wait_for in line for line in lines):
        print("atspi_dump: no line holds %r" % args.wait_for, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
