#!/usr/bin/python3
"""atspi_dump.py --pid PID [--timeout S] [--wait-for TEXT] [--extents]: a running
program's accessible tree as a screen reader sees it, one line per object, indented two
spaces per level: role | name | text or value | states [| x,y wxh on the screen]. Reads
again until the deadline while the program is not on the bus yet or no line holds TEXT."""

import argparse
import sys
import time
import warnings

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

# get_text_iface / get_value_iface are marked deprecated in the bindings, yet are the calls libatspi documents.
warnings.filterwarnings("ignore", category=DeprecationWarning)


def escape(text):
    return text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n").replace("|", "\\|")


def dump(acc, depth, out, extents):
    """Any call may fail when a control vanishes; a cycle in a broken tree must not hang."""
    try:
        text, value, shown = acc.get_text_iface(), acc.get_value_iface(), ""
        if text is not None:
            shown = escape(Atspi.Text.get_text(text, 0, Atspi.Text.get_character_count(text)))
        elif value is not None:
            v = Atspi.Value.get_current_value(value)
            shown = str(int(v)) if float(v).is_integer() else str(v)
        states = ",".join(sorted(Atspi.StateType(s).value_nick for s in acc.get_state_set().get_states()))
        line = "%s | %s | %s | %s" % (acc.get_role_name(), escape(acc.get_name() or ""), shown, states)
        if extents:
            r = acc.get_extents(Atspi.CoordType.SCREEN)
            line += " | %d,%d %dx%d" % (r.x, r.y, r.width, r.height)
        out.append("  " * depth + line)
        children = [acc.get_child_at_index(i) for i in range(min(acc.get_child_count(), 2000))]
    except Exception:
        return
    for child in children:
        if child is not None and depth < 30:
            dump(child, depth + 1, out, extents)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pid", type=int, required=True)
    parser.add_argument("--timeout", type=float, default=20.0)
    parser.add_argument("--wait-for", default="")
    parser.add_argument("--extents", action="store_true")
    args = parser.parse_args()
    deadline = time.monotonic() + args.timeout
    while True:
        lines = []
        desktop = Atspi.get_desktop(0)
        for app in (desktop.get_child_at_index(i) for i in range(desktop.get_child_count())):
            try:
                if app is not None and app.get_process_id() == args.pid:
                    dump(app, 0, lines, args.extents)
            except Exception:
                continue
        done = len(lines) > 1 and any(args.wait_for in line for line in lines)
        if done or time.monotonic() >= deadline:
            break
        time.sleep(0.2)
    print("\n".join(lines))
    if not done:
        sys.exit("atspi_dump: no accessible program with pid %d holding %r" % (args.pid, args.wait_for))


if __name__ == "__main__":
    main()
