#!/usr/bin/env python3
"""A desktop's services on a private session bus, for tests: a notification
server (org.freedesktop.Notifications) and a tray's StatusNotifierWatcher
(org.kde.StatusNotifierWatcher, with a host registered).

Prints one JSON line per call it takes:
  {"ready": true}
  {"notify": {"replaces": N, "id": N, "app": ..., "icon": ..., "summary": ...,
              "body": ..., "actions": [...], "hints": {...}}}
  {"close": N}
  {"capabilities": true}
  {"register": "<service>", "sender": "<unique name>"}
Reads commands from standard input, one JSON object per line:
  {"invoke": N} emits ActivationToken(N, "test-token") and then
  ActionInvoked(N, "default"), as a server does when the user clicks.
  {"closed": N} emits NotificationClosed(N, 2), as for a dismissal.

Usage: desktop_services.py [--no-notifications] [--no-tray]
Needs python3-dbus and python3-gi; the bus is DBUS_SESSION_BUS_ADDRESS.
"""
import json
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NOTIFICATIONS = "org.freedesktop.Notifications"
WATCHER = "org.kde.StatusNotifierWatcher"


def report(what: dict) -> None:
    print(json.dumps(what, ensure_ascii=False), flush=True)


def plain(value):
    """D-Bus values as JSON ones."""
    if isinstance(value, (dbus.Boolean,)):
        return bool(value)
    if isinstance(value, (dbus.Byte, dbus.Int16, dbus.Int32, dbus.Int64, dbus.UInt16,
                          dbus.UInt32, dbus.UInt64)):
        return int(value)
    if isinstance(value, (dbus.String, dbus.ObjectPath)):
        return str(value)
    if isinstance(value, (dbus.Array, list)):
        return [plain(v) for v in value]
    if isinstance(value, (dbus.Dictionary, dict)):
        return {str(k): plain(v) for k, v in value.items()}
    return str(value)


class Notifications(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/org/freedesktop/Notifications")
        self.next_id = 1

    @dbus.service.method(NOTIFICATIONS, in_signature="", out_signature="as")
    def GetCapabilities(self):
        report({"capabilities": True})
        return ["body", "body-markup", "actions", "persistence"]

    @dbus.service.method(NOTIFICATIONS, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("test", "vesmar", "1", "1.2")

    @dbus.service.method(NOTIFICATIONS, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        if replaces:
            number = int(replaces)
        else:
            number = self.next_id
            self.next_id += 1
        report({"notify": {"replaces": int(replaces), "id": number, "app": str(app),
                           "icon": str(icon), "summary": str(summary), "body": str(body),
                           "actions": plain(actions), "hints": plain(hints),
                           "timeout": int(timeout)}})
        return dbus.UInt32(number)

    @dbus.service.method(NOTIFICATIONS, in_signature="u", out_signature="")
    def CloseNotification(self, number):
        report({"close": int(number)})

    @dbus.service.signal(NOTIFICATIONS, signature="us")
    def ActionInvoked(self, number, action):
        pass

    @dbus.service.signal(NOTIFICATIONS, signature="us")
    def ActivationToken(self, number, token):
        pass

    @dbus.service.signal(NOTIFICATIONS, signature="uu")
    def NotificationClosed(self, number, reason):
        pass


WATCHER_XML = """<!DOCTYPE node PUBLIC "-//freedesktop//DTD D-BUS Object Introspection 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd">
<node>
  <interface name="org.kde.StatusNotifierWatcher">
    <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
    <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
    <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
    <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    <property name="ProtocolVersion" type="i" access="read"/>
    <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
    <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
    <signal name="StatusNotifierHostRegistered"/>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="v" direction="out"/></method>
    <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
  </interface>
  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect"><arg type="s" direction="out"/></method>
  </interface>
</node>
"""


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.items = []

    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, in_signature="", out_signature="s")
    def Introspect(self):
        return WATCHER_XML

    @dbus.service.method(WATCHER, in_signature="s", out_signature="", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        self.items.append(str(service))
        report({"register": str(service), "sender": str(sender)})
        self.StatusNotifierItemRegistered(service)

    @dbus.service.method(WATCHER, in_signature="s", out_signature="")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    def properties(self):
        return {"RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
                "IsStatusNotifierHostRegistered": dbus.Boolean(True),
                "ProtocolVersion": dbus.Int32(0)}

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.properties()[str(name)]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.properties()


def main() -> None:
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    names = []
    notifications = None
    if "--no-notifications" not in sys.argv:
        names.append(dbus.service.BusName(NOTIFICATIONS, bus))
        notifications = Notifications(bus)
    watcher = None
    if "--no-tray" not in sys.argv:
        watcher = Watcher(bus)
        names.append(dbus.service.BusName(WATCHER, bus))

    def command(source, condition):
        line = sys.stdin.readline()
        if not line:
            return False  # no more commands; the services stay

        order = json.loads(line)
        if "invoke" in order and notifications:
            notifications.ActivationToken(dbus.UInt32(order["invoke"]), "test-token")
            notifications.ActionInvoked(dbus.UInt32(order["invoke"]), "default")
        if "closed" in order and notifications:
            notifications.NotificationClosed(dbus.UInt32(order["closed"]), dbus.UInt32(2))
        return True

    loop = GLib.MainLoop()
    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
    report({"ready": True})
    loop.run()


if __name__ == "__main__":
    main()
