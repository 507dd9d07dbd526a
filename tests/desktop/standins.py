#!/usr/bin/python3
"""Stand-ins for the desktop services Zorvane talks to on Wayland desktops: KDE's
kglobalaccel, the portal's GlobalShortcuts and the notification service. They run
on a private test bus; the test drives them through org.zorvane.TestControl:

  Own(name, on)          take or drop one of the service names
  SetPortalMode(mode)    how the portal answers: normal, early (the Response
                         before the method's reply), cancel, nothing, refuse
  SetTaken(names)        kglobalaccel actions whose keys another action holds
  Activate(name)         press a bound shortcut (portal and kglobalaccel)
  CloseSession()         the portal ends the shortcuts session
  Log() -> as            what was called, one line per call
  Reset()                back to the start: normal mode, nothing bound or logged
"""

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

PORTAL = "org.freedesktop.portal.Desktop"
PORTAL_PATH = "/org/freedesktop/portal/desktop"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
KGA = "org.kde.kglobalaccel"
NOTIFY = "org.freedesktop.Notifications"

DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
log = []
state = {"mode": "normal", "taken": [], "session": None, "bound": [], "kga": []}
names = {}


class Request(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, response, results):
        pass


class Session(dbus.service.Object):
    @dbus.service.signal("org.freedesktop.portal.Session", signature="a{sv}")
    def Closed(self, details):
        pass

    @dbus.service.method("org.freedesktop.portal.Session")
    def Close(self):
        log.append("Session.Close")


def request_path(sender, token):
    return "%s/request/%s/%s" % (PORTAL_PATH, sender[1:].replace(".", "_"), token)


def answer(path, response, results):
    req = Request(bus, path)

    def send():
        req.Response(dbus.UInt32(response), dbus.Dictionary(results, signature="sv"))
        req.remove_from_connection()
        return False

    if state["mode"] == "early":
        send()  # before the method's reply: only a client subscribed beforehand sees it
    else:
        GLib.timeout_add(50, send)


class Portal(dbus.service.Object):
    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        if interface == SHORTCUTS and prop == "version":
            return dbus.UInt32(1)
        raise dbus.exceptions.DBusException("no such property",
                                            name="org.freedesktop.DBus.Error.InvalidArgs")

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        log.append("CreateSession")
        path = request_path(sender, options["handle_token"])
        session = "%s/session/%s/%s" % (PORTAL_PATH, sender[1:].replace(".", "_"),
                                        options["session_handle_token"])
        if state["mode"] == "refuse":
            answer(path, 2, {})
        else:
            state["session"] = Session(bus, session)
            state["session_path"] = session
            answer(path, 0, {"session_handle": dbus.String(session)})
        return dbus.ObjectPath(path)

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent, options, sender=None):
        log.append("BindShortcuts " + " ".join(
            "%s=%s" % (s[0], s[1].get("preferred_trigger", "")) for s in shortcuts))
        path = request_path(sender, options["handle_token"])
        mode = state["mode"]
        if mode == "cancel":
            answer(path, 1, {})
        elif mode == "nothing":
            answer(path, 0, {"shortcuts": dbus.Array([], signature="(sa{sv})")})
        else:
            state["bound"] = [str(s[0]) for s in shortcuts]
            bound = [dbus.Struct((s[0], {"description": s[1].get("description", ""),
                                         "trigger_description": "Ctrl+Shift+" + s[1]["preferred_trigger"][-1].upper()}),
                                 signature="sa{sv}") for s in shortcuts]
            answer(path, 0, {"shortcuts": dbus.Array(bound, signature="(sa{sv})")})
        return dbus.ObjectPath(path)

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, shortcut, timestamp, options):
        pass


class Component(dbus.service.Object):
    @dbus.service.signal("org.kde.kglobalaccel.Component", signature="ssx")
    def globalShortcutPressed(self, component, action, timestamp):
        pass


class KGlobalAccel(dbus.service.Object):
    @dbus.service.method("org.kde.KGlobalAccel", in_signature="as")
    def doRegister(self, action):
        log.append("doRegister " + "/".join(action))

    @dbus.service.method("org.kde.KGlobalAccel", in_signature="asaiu", out_signature="ai")
    def setShortcut(self, action, keys, flags):
        log.append("setShortcut %s %s %d" % (action[1], ",".join(hex(k) for k in keys), flags))
        if action[1] in state["taken"]:
            return dbus.Array([0], signature="i")
        if flags & 2:
            state["kga"].append(str(action[1]))
        return dbus.Array(keys, signature="i")

    @dbus.service.method("org.kde.KGlobalAccel", in_signature="as")
    def setInactive(self, action):
        log.append("setInactive " + action[1])
        if action[1] in state["kga"]:
            state["kga"].remove(str(action[1]))

    @dbus.service.method("org.kde.KGlobalAccel", in_signature="s", out_signature="o")
    def getComponent(self, name):
        return dbus.ObjectPath("/component/" + name)


class Notifications(dbus.service.Object):
    @dbus.service.method(NOTIFY, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        log.append("Notify %s: %s" % (summary, body))
        return dbus.UInt32(1)


portal = Portal(bus, PORTAL_PATH)
kga = KGlobalAccel(bus, "/kglobalaccel")
component = Component(bus, "/component/zorvane")
Notifications(bus, "/org/freedesktop/Notifications")


class Control(dbus.service.Object):
    @dbus.service.method("org.zorvane.TestControl", in_signature="sb")
    def Own(self, name, on):
        if on and name not in names:
            names[name] = dbus.service.BusName(name, bus, do_not_queue=True)
        elif not on and name in names:
            bus.release_name(name)
            del names[name]

    @dbus.service.method("org.zorvane.TestControl", in_signature="s")
    def SetPortalMode(self, mode):
        state["mode"] = str(mode)

    @dbus.service.method("org.zorvane.TestControl", in_signature="as")
    def SetTaken(self, taken):
        state["taken"] = [str(t) for t in taken]

    @dbus.service.method("org.zorvane.TestControl", in_signature="s")
    def Activate(self, name):
        if PORTAL in names and state["session"] is not None and name in state["bound"]:
            portal.Activated(dbus.ObjectPath(state["session_path"]), name, dbus.UInt64(1), {})
        if KGA in names and name in state["kga"]:
            component.globalShortcutPressed("zorvane", name, dbus.Int64(1))

    @dbus.service.method("org.zorvane.TestControl")
    def CloseSession(self):
        if state["session"] is not None:
            state["session"].Closed({})
            state["session"].remove_from_connection()
            state["session"] = None

    @dbus.service.method("org.zorvane.TestControl", out_signature="as")
    def Log(self):
        return log

    @dbus.service.method("org.zorvane.TestControl")
    def Reset(self):
        log.clear()
        state.update(mode="normal", taken=[], bound=[], kga=[])
        if state["session"] is not None:
            state["session"].remove_from_connection()
            state["session"] = None


Control(bus, "/control")
control_name = dbus.service.BusName("org.zorvane.TestControl", bus)
print("ready", flush=True)
GLib.MainLoop().run()
