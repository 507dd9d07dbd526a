#!/usr/bin/python3
"""Stand-ins for the desktop services Zorvane talks to on Wayland desktops (kglobalaccel,
the portal's GlobalShortcuts, notifications) on a private test bus, driven through
org.zorvane.TestControl at /control: Own(name, on) takes or drops a service name;
SetPortalMode(mode) is normal, early (the Response before the method's reply), cancel,
nothing or refuse; SetTaken(names) are kglobalaccel actions whose keys another action
holds; Activate(name) presses a bound shortcut; CloseSession(); Log() is one line per
call; Reset() goes back to the start.
"""

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PORTAL_PATH = "/org/freedesktop/portal/desktop"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
KGA = "org.kde.KGlobalAccel"
CONTROL = "org.zorvane.TestControl"
method, signal = dbus.service.method, dbus.service.signal

DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
log = []
state = {"mode": "normal", "taken": [], "session": None, "bound": [], "kga": []}
names = {}


class Request(dbus.service.Object):
    @signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, response, results): pass


class Session(dbus.service.Object):
    @signal("org.freedesktop.portal.Session", signature="a{sv}")
    def Closed(self, details): pass

    @method("org.freedesktop.portal.Session")
    def Close(self):
        log.append("Session.Close")


def handle(sender, kind, token):
    return "%s/%s/%s/%s" % (PORTAL_PATH, kind, sender[1:].replace(".", "_"), token)


def answer(path, response, results=None):
    """The portal's Response on a request object, after the method's reply unless early."""
    req = Request(bus, path)

    def send():
        req.Response(dbus.UInt32(response), dbus.Dictionary(results or {}, signature="sv"))
        req.remove_from_connection()
        return False
    if state["mode"] == "early":
        send()
    else:
        GLib.timeout_add(50, send)
    return dbus.ObjectPath(path)


def drop_session():
    if state["session"] is not None:
        state["session"].remove_from_connection()
        state["session"] = None


class Portal(dbus.service.Object):
    @method("org.freedesktop.DBus.Properties", in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        if interface == SHORTCUTS and prop == "version":
            return dbus.UInt32(1)
        raise dbus.exceptions.DBusException("no such property", name="org.freedesktop.DBus.Error.InvalidArgs")

    @method(SHORTCUTS, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        log.append("CreateSession")
        path = handle(sender, "request", options["handle_token"])
        if state["mode"] == "refuse":
            return answer(path, 2)
        state["session_path"] = handle(sender, "session", options["session_handle_token"])
        state["session"] = Session(bus, state["session_path"])
        return answer(path, 0, {"session_handle": dbus.String(state["session_path"])})

    @method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o", sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent, options, sender=None):
        log.append("BindShortcuts " + " ".join("%s=%s" % (s[0], s[1].get("preferred_trigger", ""))
                                               for s in shortcuts))
        path = handle(sender, "request", options["handle_token"])
        if state["mode"] == "cancel":
            return answer(path, 1)
        bound = []
        if state["mode"] != "nothing":
            state["bound"] = [str(s[0]) for s in shortcuts]
            bound = [dbus.Struct((s[0], {"description": s[1].get("description", ""),
                                         "trigger_description": "Ctrl+Shift+" + s[1]["preferred_trigger"][-1].upper()}),
                                 signature="sa{sv}") for s in shortcuts]
        return answer(path, 0, {"shortcuts": dbus.Array(bound, signature="(sa{sv})")})

    @signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, shortcut, timestamp, options): pass


class Component(dbus.service.Object):
    @signal("org.kde.kglobalaccel.Component", signature="ssx")
    def globalShortcutPressed(self, component, action, timestamp): pass


class KGlobalAccel(dbus.service.Object):
    @method(KGA, in_signature="as")
    def doRegister(self, action):
        log.append("doRegister " + "/".join(action))

    @method(KGA, in_signature="asaiu", out_signature="ai")
    def setShortcut(self, action, keys, flags):
        log.append("setShortcut %s %s %d" % (action[1], ",".join(hex(k) for k in keys), flags))
        if action[1] in state["taken"]:
            return dbus.Array([0], signature="i")
        if flags & 2:
            state["kga"].append(str(action[1]))
        return dbus.Array(keys, signature="i")

    @method(KGA, in_signature="as")
    def setInactive(self, action):
        log.append("setInactive " + action[1])
        if action[1] in state["kga"]:
            state["kga"].remove(str(action[1]))

    @method(KGA, in_signature="s", out_signature="o")
    def getComponent(self, name):
        return dbus.ObjectPath("/component/" + name)


class Notifications(dbus.service.Object):
    @method("org.freedesktop.Notifications", in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        log.append("Notify %s: %s" % (summary, body))
        return dbus.UInt32(1)


class Control(dbus.service.Object):
    @method(CONTROL, in_signature="sb")
    def Own(self, name, on):
        if on and name not in names:
            names[name] = dbus.service.BusName(name, bus, do_not_queue=True)
        elif not on and name in names:
            bus.release_name(name)
            del names[name]

    @method(CONTROL, in_signature="s")
    def SetPortalMode(self, mode):
        state["mode"] = str(mode)

    @method(CONTROL, in_signature="as")
    def SetTaken(self, taken):
        state["taken"] = [str(t) for t in taken]

    @method(CONTROL, in_signature="s")
    def Activate(self, name):
        if "org.freedesktop.portal.Desktop" in names and state["session"] is not None and name in state["bound"]:
            portal.Activated(dbus.ObjectPath(state["session_path"]), name, dbus.UInt64(1), {})
        if "org.kde.kglobalaccel" in names and name in state["kga"]:
            component.globalShortcutPressed("zorvane", name, dbus.Int64(1))

    @method(CONTROL)
    def CloseSession(self):
        if state["session"] is not None:
            state["session"].Closed({})
        drop_session()

    @method(CONTROL, out_signature="as")
    def Log(self):
        return log

    @method(CONTROL)
    def Reset(self):
        log.clear()
        state.update(mode="normal", taken=[], bound=[], kga=[])
        drop_session()


portal = Portal(bus, PORTAL_PATH)
KGlobalAccel(bus, "/kglobalaccel")
component = Component(bus, "/component/zorvane")
Notifications(bus, "/org/freedesktop/Notifications")
Control(bus, "/control")
control_name = dbus.service.BusName(CONTROL, bus)
print("ready", flush=True)
GLib.MainLoop().run()
