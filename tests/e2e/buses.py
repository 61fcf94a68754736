"""Private message buses for a scenario: mock desktop services (logind, the
notification server, the portal) from python3-dbusmock, and the accessibility
bus with a reader that lists what the program shows to screen readers."""

import json
import os
import subprocess
import sys

from harness import Failure, _die_with_parent, ended, plain_env, wait

MOCK = "org.freedesktop.DBus.Mock"


def start_bus(s, label, env=None):
    """A private message bus with the session bus's open policy; its address."""
    socket = os.path.join(s.root, f"{label}-bus")
    return s.spawn_reporting(f"{label}-bus", lambda fd: [
        "dbus-daemon", "--session", "--nofork", "--nopidfile", f"--address=unix:path={socket}",
        f"--print-address={fd}"], env=env)[1]


def connect(address):
    import dbus  # python3-dbus, a dependency of python3-dbusmock
    return dbus.bus.BusConnection(address)


def start_mock(s, label, address, connection, name, *args, system=False):
    """A python3-dbusmock service on the bus at `address`, once it owns `name` there."""
    env = dict(os.environ, **{"DBUS_SYSTEM_BUS_ADDRESS" if system else "DBUS_SESSION_BUS_ADDRESS": address})
    proc = s.spawn(label, [sys.executable, "-m", "dbusmock", "--system" if system else "--session", *args], env=env)
    wait(f"{name} on its bus", lambda: connection.name_has_owner(name), 15, 0.05, guard=ended(proc, label))


class DesktopServices:
    """Private system and session buses with a mock logind and a mock
    notification server (with the capabilities given, else its own), and what
    those have been told. Each one starts new buses, which the program copies
    started afterwards are given."""

    def __init__(self, s, notification_capabilities=None):
        import dbus
        self.dbus = dbus
        s.buses += 1
        s.system_bus = start_bus(s, f"system{s.buses}")
        s.session_bus = start_bus(s, f"session{s.buses}")
        self.system = connect(s.system_bus)
        self.user = connect(s.session_bus)
        start_mock(s, "logind-mock", s.system_bus, self.system, "org.freedesktop.login1",
                   "--template", "logind", system=True)
        parameters = []
        if notification_capabilities is not None:
            parameters = ["--parameters", json.dumps({"capabilities": notification_capabilities})]
        start_mock(s, "notification-mock", s.session_bus, self.user, "org.freedesktop.Notifications",
                   "--template", "notification_daemon", *parameters)
        s.log(f"mock logind on {s.system_bus}, mock notification server on {s.session_bus}")

    def inhibitors(self):
        """(what, who, why, mode) of every inhibitor logind holds now."""
        manager = self.system.get_object("org.freedesktop.login1", "/org/freedesktop/login1")
        found = manager.ListInhibitors(dbus_interface="org.freedesktop.login1.Manager")
        return [(str(i[0]), str(i[1]), str(i[2]), str(i[3])) for i in found]

    def notifications(self):
        return notifications(self.user)

    def wait_inhibitors(self, p, expected, what, timeout):
        """Polls until logind holds exactly `expected` inhibitors; returns them."""
        held = []

        def probe():
            held[:] = self.inhibitors()
            return len(held) == expected
        p.wait(f"{expected} inhibitor(s) {what}", probe, timeout, 0.02, lambda: f"logind holds {held}")
        return held

    def wait_notifications(self, count, what, timeout):
        found = []

        def probe():
            found[:] = self.notifications()
            return len(found) >= count
        wait(f"{count} notification(s): {what}", probe, timeout, 0.02, detail=lambda: f"{len(found)} received")
        return found


def notifications(connection):
    """The arguments of every Notify call the mock notification server received, as dicts."""
    server = connection.get_object("org.freedesktop.Notifications", "/org/freedesktop/Notifications")
    names = ("app_name", "replaces_id", "app_icon", "summary", "body", "actions", "hints", "timeout")
    return [dict(zip(names, args)) for _, method, args in server.GetCalls(dbus_interface=MOCK) if method == "Notify"]


ATSPI_PROBE = r'''
import json, sys
import pyatspi

def describe(acc):
    states = acc.getState()
    try:
        value = acc.queryValue().currentValue
    except NotImplementedError:
        value = None
    return {"name": acc.name, "role": acc.getRoleName(), "showing": states.contains(pyatspi.STATE_SHOWING),
            "label_for": any(r.getRelationType() == pyatspi.RELATION_LABEL_FOR for r in acc.getRelationSet()),
            "value": value, "description": acc.description}

def walk(acc, found):
    for child in acc:
        if child is not None:
            found.append(describe(child))
            walk(child, found)

for line in sys.stdin:
    windows = {}
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "Minutrex":
            for window in app:
                found = [dict(describe(window), window=True)]
                walk(window, found)
                windows[window.name] = found
    print(json.dumps(windows), flush=True)
'''


class AccessibilityBus:
    """A private session bus with the accessibility bus on it, switched on as
    a screen reader would, and a reader that lists what the program shows."""

    def __init__(self, s):
        s.start_servers()
        base = os.path.join(s.root, "a11y")
        os.makedirs(base, mode=0o700)
        env = plain_env(HOME=base, XDG_RUNTIME_DIR=base, DISPLAY=s.display)
        env["DBUS_SESSION_BUS_ADDRESS"] = start_bus(s, "a11y-session", env)
        self.env = {"DBUS_SESSION_BUS_ADDRESS": env["DBUS_SESSION_BUS_ADDRESS"]}
        launcher = s.spawn("at-spi-bus", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env=env)
        wait("accessibility bus switched on", lambda: subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
             "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status", "string:IsEnabled",
             "variant:boolean:true"], env=env, capture_output=True).returncode == 0, 10, 0.05,
             guard=ended(launcher, "at-spi-bus-launcher"))
        self.reader = subprocess.Popen(["/usr/bin/python3", "-c", ATSPI_PROBE], env=env, stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                       preexec_fn=_die_with_parent)
        s.procs.append(("atspi-reader", self.reader))
        s.log("accessibility bus on")

    def windows(self):
        """What each of the program's windows shows, by window title."""
        self.reader.stdin.write("list\n")
        self.reader.stdin.flush()
        line = self.reader.stdout.readline()
        if not line:
            raise Failure("the accessibility reader ended")
        return json.loads(line)

    def names(self, window_title=None):
        """The names shown in the window of that title, or in all windows."""
        return {o["name"] for title, objects in self.windows().items() if window_title in (None, title)
                for o in objects}

    def wait_objects(self, window_name, predicate, timeout=5):
        objects = []

        def probe():
            objects[:] = self.windows().get(window_name, [])
            return predicate(objects)
        wait(f"window {window_name!r} showing what was expected", probe, timeout, 0.1, detail=lambda: str(objects))
        return objects
