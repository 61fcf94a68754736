"""The desktop session and its buses: idle-suspend holds, end notices, buses
that never answer, progress on the dock, a window manager, Wayland."""

import html
import os
import re
import signal
import sys
import time

from buses import MOCK, DesktopServices, start_bus, start_mock
from harness import (ACTION_SLACK, APP_ID, MESSAGE, Failure, Program, desktop_entry, plain_env, read_file, read_mark,
                     settings_lines, wait)
from layout import TIME_PANEL
from screen import Responsiveness, read_display


def scenario_idle_inhibit(s):
    """A 5-second count holds off idle suspend while it runs, and only then."""
    bus = DesktopServices(s)
    d = s.marked_dir(5, "Veille", options=(0, 0, 1, 0))
    p = s.start_program(d)
    w = p.wait_main_window()
    held = bus.wait_inhibitors(p, 1, "counting", 3)
    what, who, why, mode = held[0]
    s.log(f"inhibitor {held[0]}")
    s.check((what, who, mode) == ("sleep:idle", "Minutrex", "block") and "Marque" in why,
            f"one Minutrex inhibitor of sleep:idle, mode block, naming the action ({held[0]})")

    s.click(w, TIME_PANEL)
    clicked = time.monotonic()
    bus.wait_inhibitors(p, 0, "paused", 2)
    s.log("ok: none while paused")
    # Input pacing, not a wait for a result: two clicks closer than the
    # double-click interval would open the settings window.
    time.sleep(max(0.0, clicked + 0.8 - time.monotonic()))
    s.click(p.main_window(), TIME_PANEL)
    bus.wait_inhibitors(p, 1, "resumed", 2)
    s.log("ok: one again after the resume")

    s.wait_mark(d, 8)
    bus.wait_inhibitors(p, 0, "ended", 2)
    s.check(p.running() and p.main_window() is not None, "none once the count has ended, the program still open")


PORTAL_INHIBIT = """
self.requests = getattr(self, 'requests', 0) + 1
path = '/org/freedesktop/portal/desktop/request/minutrex/%d' % self.requests
self.AddObject(path, 'org.freedesktop.portal.Request', {}, [('Close', '', '', '')])
ret = dbus.ObjectPath(path)
"""


def scenario_idle_inhibit_portal(s):
    """Where a desktop portal runs, it holds off idle suspend instead of logind."""
    bus = DesktopServices(s)
    start_mock(s, "portal-mock", s.session_bus, bus.user, "org.freedesktop.portal.Desktop",
               "org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Inhibit")
    portal = bus.user.get_object("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop")
    portal.AddMethod("", "Inhibit", "sua{sv}", "o", PORTAL_INHIBIT, dbus_interface=MOCK)

    def inhibit_calls():
        return [args for _, method, args in portal.GetCalls(dbus_interface=MOCK) if method == "Inhibit"]

    def closed(number):
        request = bus.user.get_object("org.freedesktop.portal.Desktop",
                                      f"/org/freedesktop/portal/desktop/request/minutrex/{number}")
        return any(method == "Close" for _, method, _ in request.GetCalls(dbus_interface=MOCK))

    p = s.start_program(s.fresh_dir(settings_lines(0, 0, 30, "Portail", "", "", "Portail", options=(0, 0, 1, 1))))
    w = p.wait_main_window()
    calls = p.wait("the portal's Inhibit", inhibit_calls, 3)
    window, flags, options = calls[0]
    s.check(flags == 4 | 8 and "Portail" in options.get("reason", ""),
            f"the portal is asked to hold off suspend and idle, naming the action ({flags}, {dict(options)})")
    s.check(bus.inhibitors() == [], "logind is not asked")

    s.click(w, TIME_PANEL)
    clicked = time.monotonic()
    p.wait("the request closed on pause", lambda: closed(1), 2)
    s.log("ok: paused, the portal's request is closed")
    time.sleep(max(0.0, clicked + 0.8 - time.monotonic()))  # input pacing: no double-click
    s.click(p.main_window(), TIME_PANEL)
    p.wait("a second Inhibit on resume", lambda: len(inhibit_calls()) == 2, 2)
    s.check(not closed(2) and bus.inhibitors() == [], "resumed: held again through the portal")
    p.annul()


def scenario_end_notices(s):
    """One notification at the end of each count: the target started, the
    action disabled, the target missing."""
    bus = DesktopServices(s)

    def run(action, target, options):
        d = s.marked_dir(2, "Avis", action=action, target=target, options=options)
        return d, s.start_program(d)

    def check_notice(notice, action):
        s.check(notice["app_name"] == "Minutrex" and notice["summary"] == "Minutrex",
                f"from Minutrex, summary Minutrex ({notice['app_name']!r}, {notice['summary']!r})")
        s.check(action in notice["body"], f"the body names the action {action!r} ({notice['body']!r})")
        image = notice["hints"].get("image-data")
        s.check(image is not None and image[0] > 0 and len(image[6]) == image[2] * image[1],
                "with the program's icon")
        entry = notice["hints"].get("desktop-entry")
        s.check(entry == APP_ID, f"naming the installed desktop entry ({entry!r})")

    # The target starts and the program closes.
    d, p = run("Marque", "mark.sh", (0, 0, 1, 1))
    s.check(p.wait_exit(8) == 0, "exit 0 after the action")
    s.wait_mark(d)
    started = bus.wait_notifications(1, "target started", 2)
    s.check(len(started) == 1, f"exactly one notification ({len(started)})")
    check_notice(started[0], "Marque")

    # The action is disabled.
    d, p = run("Arrêt", "mark.sh", (0, 0, 0, 1))
    s.check(p.wait_exit(8) == 0, "exit 0 at the end")
    disabled = bus.wait_notifications(2, "action disabled", 2)
    s.check(len(disabled) == 2, f"exactly one more notification ({len(disabled)})")
    check_notice(disabled[1], "Arrêt")
    s.stays("the disabled target does not run", lambda: read_mark(d) is None, ACTION_SLACK,
            "a target started at the end would have marked by then")

    # The target is missing: the program stays open behind the launcher's
    # message, and the notice does not wait for anyone to read it.
    d, p = run("Absente", "absent.sh", (0, 0, 1, 1))
    box = p.wait_window(MESSAGE, 6)
    # The box appears at zero or later: a notice due within a second of zero
    # is due within a second of this sighting.
    failed = bus.wait_notifications(3, "target missing, message still on screen", 1.0)
    s.check(p.window_named(MESSAGE) is not None, "the notice came while the message was on screen")
    p.dismiss(box)
    check_notice(failed[2], "Absente")
    s.check(len({n["body"] for n in failed}) == 3, "three different bodies for three different ends")
    s.check(not started[0]["actions"] and "default" in failed[2]["actions"],
            "activation offered only when the program stays open")

    # Activating it brings the window forward: another program's window,
    # mapped over it, covers the time panel until then.
    main = p.main_window()
    s.spawn("xclock", ["xclock", "-geometry", f"{main.w}x{main.h}+{main.x}+{main.y}"],
            env=dict(os.environ, DISPLAY=s.display))

    def covered():
        return read_display(s.screenshot("covered", replace=True), main)[0] != "00:00:00"
    p.wait("another program's window over the time", covered, 5)
    server = bus.user.get_object("org.freedesktop.Notifications", "/org/freedesktop/Notifications")
    notice_id = bus.dbus.UInt32(len(failed))  # the mock numbers its notifications from 1
    server.EmitSignal("org.freedesktop.Notifications", "ActionInvoked", "us", [notice_id, "default"],
                      dbus_interface=MOCK)
    p.wait("the main window in front again", lambda: not covered(), 3)
    s.log("ok: activating the notification brought the window forward")
    p.annul()
    s.stays("exactly one notification for the missing target", lambda: len(bus.notifications()) == 3, 0.5,
            "a notice sent on the way out would have reached the server by then")


def scenario_notice_markup(s):
    """An action named with markup characters reads as typed in the notice,
    whether the notification server reads markup or plain text."""
    name = "A & <b>B</b>"
    for capabilities, markup in (("body body-markup", True), ("body", False)):
        bus = DesktopServices(s, capabilities)
        p = s.start_program(s.marked_dir(1, "Avis", action=name))
        s.check(p.wait_exit(10) == 0, f"{capabilities}: exit 0 after the action")
        body = bus.wait_notifications(1, f"{capabilities}: the end notice", 3)[0]["body"]
        s.log(f"{capabilities}: body {body!r}")
        if markup:
            # What the server shows is the body with its markup read.
            s.check("<b>" not in body and html.unescape(body).count(f"« {name} »") == 1,
                    f"a server reading markup shows « {name} » as typed ({body!r})")
        else:
            s.check(f"« {name} »" in body, f"a server reading plain text gets « {name} » as typed ({body!r})")


def scenario_wedged_buses(s):
    """A message bus that takes connections and never answers (its daemon
    stopped), as the system bus, as the session bus, then both: the window
    comes within 3 s and the target runs on time all the same."""
    stopped = {}
    for label in ("system", "session"):
        address = start_bus(s, f"stopped-{label}")
        proc = s.procs[-1][1]
        os.kill(proc.pid, signal.SIGSTOP)
        stopped[label] = (address, proc)
    try:
        for which in (("system",), ("session",), ("system", "session")):
            env = {f"DBUS_{label.upper()}_BUS_ADDRESS": stopped[label][0] for label in which}
            d = s.marked_dir(3, " et ".join(which))
            p = s.start_program(d, extra_env=env)
            p.wait_main_window(3)
            s.log(f"{' and '.join(which)} bus stopped: window within 3 s")
            ran = s.wait_mark(d, 10)
            late = ran - p.start_wall - 3
            s.check(0 <= late <= 1.0, f"{' and '.join(which)} bus stopped: the target ran "
                    f"{late:.3f} s after its time (at most 1 s)")
            s.check(p.wait_exit(5) == 0, "exit 0 after the action")
    finally:
        for _, proc in stopped.values():
            os.kill(proc.pid, signal.SIGCONT)

    # A system bus that greets the start-up's look at it, or that and the
    # look before the program opens it, then holds every connection without
    # a word: the program comes to it later, to hold off idle suspend, and
    # must neither wait on it nor be held by it at its end.
    for greetings in (1, 2):
        socket_path = os.path.join(s.root, f"greets-{greetings}")
        held = os.path.join(s.root, f"held-after-{greetings}")
        s.spawn(f"greets-{greetings}", [sys.executable, "-c", GREETS_THEN_HOLDS, socket_path, str(greetings), held])
        wait("the bus that greets and then holds listening", lambda: os.path.exists(socket_path), 5)
        d = s.marked_dir(3, f"Bus muet après {greetings} salut(s)")
        p = s.start_program(d, extra_env={"DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={socket_path}"})
        pings = Responsiveness(s, p.wait_main_window(3))
        wait("the program held at the bus after its greetings", lambda: os.path.exists(held), 5)
        ran = s.wait_mark(d, 10)
        longest = pings.stop()
        late = ran - p.start_wall - 3
        s.check(0 <= late <= 1.0, f"bus silent after {greetings} greeting(s): the target ran {late:.3f} s after "
                "its time (at most 1 s)")
        s.check(longest < 1.0, f"the window never stopped answering for a second ({longest * 1000:.0f} ms)")
        s.check(p.wait_exit(5) == 0, "exit 0 after the action")


# A unix socket that answers the first words of its first argv[2]
# connections and never a word after; the next connection is marked by a
# file (argv[3]).
GREETS_THEN_HOLDS = r'''
import socket, sys
server = socket.socket(socket.AF_UNIX)
server.bind(sys.argv[1])
server.listen(16)
held = []
for _ in range(int(sys.argv[2])):
    greeted = server.accept()[0]
    greeted.recv(256)
    greeted.sendall(b"REJECTED EXTERNAL\r\n")
    held.append(greeted)
while True:
    held.append(server.accept()[0])
    open(sys.argv[3], "w").close()
'''


def scenario_wedged_sound(s):
    """A sound server that takes connections and never answers (stopped): the
    window comes, counts, beeps into nothing and acts on time all the same,
    and ends cleanly."""
    s.start_servers()
    pulse = next(proc for label, proc in s.procs if label == "pulseaudio")
    os.kill(pulse.pid, signal.SIGSTOP)
    try:
        d = s.marked_dir(3, "Sans son")
        p = s.start_program(d)
        pings = Responsiveness(s, p.wait_main_window(3))
        ran = s.wait_mark(d, 10)
        longest = pings.stop()  # before the window goes at the end of the count
        late = ran - p.start_wall - 3
        s.check(0 <= late <= 1.0, f"the target ran {late:.3f} s after its time (at most 1 s)")
        s.check(longest < 1.0, f"the window never stopped answering for a second ({longest * 1000:.0f} ms)")
        s.check(p.wait_exit(5) == 0, "exit 0 after the action, the sound server still stopped")
    finally:
        os.kill(pulse.pid, signal.SIGCONT)


def launcher_updates(path):
    """(time, application, properties) of every LauncherEntry Update that
    dbus-monitor wrote to path."""
    updates = []
    for block in re.split(r"\n(?=signal |method |error |method return )", read_file(path).decode(errors="replace")):
        header = re.match(r"signal time=([\d.]+) .*interface=com\.canonical\.Unity\.LauncherEntry; member=Update",
                          block)
        if not header:
            continue
        uri = re.search(r'^   string "([^"]*)"', block, re.M).group(1)
        properties = {}
        for key, kind, value in re.findall(r'dict entry\(\s*string "([^"]+)"\s*variant\s+(\w+) ([^\n]+)', block):
            properties[key] = {"double": float, "boolean": lambda v: v == "true"}.get(kind, int)(value.strip())
        updates.append((float(header.group(1)), uri, properties))
    return updates


def scenario_dock_progress(s):
    """A count's progress on the dock: rising through the count, at most once
    a second, then taken away."""
    bus = start_bus(s, "session")
    monitor = s.spawn("dbus-monitor", ["dbus-monitor", "--address", bus,
                                       "type='signal',interface='com.canonical.Unity.LauncherEntry'"])
    log = os.path.join(s.root, "dbus-monitor.log")
    # The monitor is in place once the bus has taken its name back.
    wait("the bus monitor in place", lambda: b"member=NameLost" in read_file(log), 10)
    d = s.fresh_dir(settings_lines(0, 0, 4, "Progrès", "", "", "Dock", options=(0, 0, 0, 1)))
    p = s.start_program(d, extra_env={"DBUS_SESSION_BUS_ADDRESS": bus})
    s.check(p.wait_exit(15) == 0, "exit 0 at the end")
    wait("the update that takes the progress away",
         lambda: [u for u in launcher_updates(log) if u[2].get("progress-visible") is False], 5)
    updates = launcher_updates(log)
    s.log(f"{len(updates)} updates: {[(round(t, 3), u.get('progress')) for t, _, u in updates]}")
    shown = [(t, props) for t, uri, props in updates if props.get("progress-visible")]
    s.check(all(uri == f"application://{APP_ID}.desktop" for _, uri, _ in updates),
            f"every update names application://{APP_ID}.desktop")
    s.check(len(shown) >= 3, f"the progress shown through the count ({len(shown)} updates)")
    s.check(all(b[1]["progress"] > a[1]["progress"] for a, b in zip(shown, shown[1:])), "the progress rises")
    gaps = [b[0] - a[0] for a, b in zip(shown, shown[1:])]
    # Sent at least 1000 ms apart by the program's clock; the monitor stamps
    # them on arrival, which a busy machine may bring closer by a little.
    s.check(min(gaps) >= 0.9, f"at most once a second (gaps {[round(g, 3) for g in gaps]})")
    s.check(updates[-1][2].get("progress-visible") is False and updates[-1][2].get("count-visible") is False,
            "the end takes the progress away")
    s.stop(monitor)


def xprop(s, window, name):
    """A property of a window (the root when None) as xprop shows it after '=', or ""."""
    where = ("-root",) if window is None else ("-id", window)
    out = s.tool("xprop", *where, name, check=False).stdout.decode(errors="replace")
    m = re.match(r"^\w+\([^)]*\)(?::| =)\s*(.*)$", out)
    return m.group(1).strip() if m else ""


def window_ids(text):
    return {int(x, 16) for x in re.findall(r"0x[0-9a-f]+", text or "")}


def wm_class(s, window):
    return re.findall(r'"([^"]*)"', xprop(s, window.id, "WM_CLASS"))


def scenario_window_manager(s):
    """Under a plain window manager: the windows' class names the desktop
    entry, and a settings window minimised in spite of its hints leaves the
    program within the user's reach."""
    s.start_servers()
    home = os.path.join(s.root, "openbox")
    os.makedirs(home)
    s.spawn("openbox", ["openbox", "--sm-disable"], env=plain_env(HOME=home, DISPLAY=s.display))
    wait("openbox to manage the screen",
         lambda: xprop(s, None, "_NET_SUPPORTING_WM_CHECK").startswith("window id"), 15, 0.05)
    s.log("openbox running")
    p = s.start_program(s.fresh_dir(settings_lines(0, 25, 0, "Thé", "", "", "Sous openbox")))
    w = p.wait_main_window()

    entry = desktop_entry(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data",
                                       APP_ID + ".desktop"))
    main_class = wm_class(s, w)
    # Docks match the entry's StartupWMClass, or its name, against the class.
    s.check(len(main_class) == 2 and main_class[1] in (entry.get("StartupWMClass"), APP_ID),
            f"the main window's class {main_class} is the desktop entry's {entry.get('StartupWMClass')!r}")

    s.key(w, "F2")
    dialog = p.wait("settings window", p.settings_window, 5)
    s.check(wm_class(s, dialog) == main_class, "the settings window has the same class")
    allowed = xprop(s, dialog.id, "_NET_WM_ALLOWED_ACTIONS")
    s.log(f"openbox allows the settings window: {allowed}")
    if "_NET_WM_ACTION_MINIMIZE" not in allowed:
        s.log("ok: the settings window cannot be minimised")
        return
    s.tool("xdotool", "windowminimize", dialog.id)
    s.log("minimised the settings window")

    def reachable():
        shown = p.windows()
        if shown:
            return f"{shown} on screen"
        listed = window_ids(xprop(s, None, "_NET_CLIENT_LIST"))
        for wid in s.tool("xdotool", "search", "--pid", str(p.pid), check=False).stdout.split():
            if int(wid) != int(dialog.id) and int(wid) in listed and \
                    "SKIP_TASKBAR" not in xprop(s, wid.decode(), "_NET_WM_STATE"):
                return f"window {int(wid)} {xprop(s, wid.decode(), 'WM_NAME')} in the desktop's list of windows"
        return None
    # Seen minimised, unless it came back before a look caught it.
    try:
        wait("the settings window minimised", lambda: "HIDDEN" in xprop(s, dialog.id, "_NET_WM_STATE"), 2)
        s.log("the window manager minimised the settings window")
    except Failure:
        s.log("the settings window was not seen minimised")
    found = p.wait("window of the program within reach", reachable, 5)
    s.log(f"ok: the program stays within reach: {found}")
    # Whatever the way back, the settings still end as usual.
    back = p.wait("the settings window on screen", p.settings_window, 5)
    s.key(back, "Escape")
    w = p.wait_main_window(5)
    state = xprop(s, w.id, "_NET_WM_STATE")
    s.check("HIDDEN" not in state, f"Annulation brings the main window back, not minimised ({state!r})")
    s.check(p.settings_window() is None, "and the settings window is gone")


def scenario_wayland(s):
    """Under a Wayland compositor with no X server at all."""
    runtime = os.path.join(s.root, "wayland")
    os.makedirs(runtime, mode=0o700)
    env = plain_env(HOME=runtime, XDG_RUNTIME_DIR=runtime)
    s.spawn("weston", ["weston", "--backend=headless-backend.so", "--socket=minutrex-e2e", "--idle-time=0"],
            env=env)
    wait("weston's socket", lambda: os.path.exists(os.path.join(runtime, "minutrex-e2e")), 15, 0.05)
    s.log("weston running, headless")
    d = s.marked_dir(3, "Wayland")
    p = Program(s, [os.path.join(d, "minutrex")], d, dict(env, WAYLAND_DISPLAY="minutrex-e2e", LANG="C.UTF-8"))
    p.ends(10, "after the action")
    ran = s.wait_mark(d)
    s.check(ran - p.start_wall >= 3.0, f"the target ran once the 3 s had passed ({ran - p.start_wall:.3f} s)")
