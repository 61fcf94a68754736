"""Actions and the end of the count: a missing target, a document no
application opens, ANNULATION, the about box at zero, an opener that waits."""

import os
import subprocess
import sys
import time

from harness import ACTION_SLACK, MARK_SCRIPT, MESSAGE, read_mark, settings_lines, wait, write_script
from layout import BUTTON_ANNULATION, BUTTON_EXECUTER, DIALOG_ANNULATION, DIALOG_BUTTONS, HOURGLASS
from screen import Responsiveness, png_bytes

def scenario_missing_target(s):
    s.start_servers(record=False)
    d = s.marked_dir(2, "Cible absente", action="Absent", mark=False)
    p = s.start_program(d)
    p.wait_main_window()
    box = p.wait_window(MESSAGE, 5)
    s.log(f"message {box}")
    s.screenshot("missing-target-message")

    def still_open():
        return p.running() and p.main_window() is not None
    s.stays("the program stays open behind the message", still_open, 1.0,
            "a while for the program to end, were it to")
    p.dismiss(box)
    s.stays("the program stays open after the message", still_open, 0.5, "a while for the program to end, were it to")
    s.check(p.main_window().name == "00:00:00  Minutrex", f"showing 00:00:00 ({p.main_window().name!r})")

    # "EXECUTER" while the target is still missing: the same message, still open.
    s.click(p.main_window(), BUTTON_EXECUTER)
    box = p.wait_window(MESSAGE, 3)
    p.dismiss(box)
    s.stays("a failed EXECUTER leaves the program open", p.running, 0.3, "a while for the program to end, were it to")

    # Now the target exists: "EXECUTER" runs it and the program ends.
    write_script(os.path.join(d, "mark.sh"), MARK_SCRIPT)
    s.click(p.main_window(), BUTTON_EXECUTER)
    p.ends(5, "after EXECUTER with the target in place")
    s.wait_mark(d)


def scenario_no_application(s):
    """A document that no application opens, on a machine kept busy: the
    opener's failure is awaited, reported, and the program stays open."""
    s.start_servers(record=False)
    d = s.marked_dir(1, "Opener", action="Sans application", target="data.zzq", mark=False)
    with open(os.path.join(d, "data.zzq"), "wb") as f:
        f.write(bytes(range(256)) * 4)  # no type that any application claims
    busy = [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(2)]
    try:
        p = s.start_program(d)
        p.wait_main_window()
        box = p.wait_window(MESSAGE, 60)
        s.log(f"message {box}")
        s.check(p.running(), "the program stays open behind the message")
        p.dismiss(box)
        s.stays("the program stays open after the message", lambda: p.running() and p.main_window() is not None,
                0.5, "a while for the program to end, were it to")
    finally:
        for b in busy:
            b.kill()
            b.wait()


def scenario_annulation(s):
    delay = 5
    d, p = s.start_marked(delay, "Annulation", record=False)
    w = p.wait_main_window()
    s.click(w, BUTTON_ANNULATION)
    p.ends(3, "after ANNULATION")
    ended = time.monotonic() - p.start_mono
    # The count cannot reach zero sooner than its delay after the process start.
    s.check(ended < delay, f"it ended before the count could reach zero ({ended:.3f} s after it started)")
    s.stays("the target does not run", lambda: read_mark(d) is None, ACTION_SLACK + 1,
            "a target started on the way out would have marked by then")


def scenario_about_at_zero(s):
    """The about box does not pause the count: when the count ends behind it
    and closes the program, the program ends cleanly and the target runs."""
    # Long enough for the about box to open first on a busy machine.
    d, p = s.start_marked(4, "A propos", record=False)
    w = p.wait_main_window()
    s.click(w, HOURGLASS)
    p.wait_window("About", 3)
    p.ends(8, "with the about box open")
    s.wait_mark(d)


SLOW_VIEWER = """#!/bin/sh
# Opens nothing and keeps running, as a viewer that the opener waits for;
# leaves its session and its environment behind first.
{ ps -o sid= -p $$; env; } > "$(dirname "$0")/viewer.tmp" && mv "$(dirname "$0")/viewer.tmp" "$(dirname "$0")/viewer"
exec sleep 20
"""


def slow_viewer_home(s, d):
    """A home whose desktop opens PNG pictures with a viewer that keeps running."""
    home = os.path.join(s.root, "home")
    applications = os.path.join(home, ".local", "share", "applications")
    os.makedirs(applications, exist_ok=True)
    os.makedirs(os.path.join(home, "config"), exist_ok=True)
    viewer = write_script(os.path.join(d, "viewer.sh"), SLOW_VIEWER)
    with open(os.path.join(applications, "slow-viewer.desktop"), "w") as f:
        f.write(f"[Desktop Entry]\nType=Application\nName=Slow viewer\nExec={viewer} %f\nMimeType=image/png;\n")
    with open(os.path.join(home, "config", "mimeapps.list"), "w") as f:
        f.write("[Default Applications]\nimage/png=slow-viewer.desktop\n")
    with open(os.path.join(d, "picture.png"), "wb") as f:
        f.write(png_bytes(4, 4, bytes((255, 0, 0)) * 16))
    return home


def read_viewer(d):
    path = os.path.join(d, "viewer")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        lines = f.read().splitlines()
    return int(lines[0]), dict(line.split("=", 1) for line in lines[1:] if "=" in line)


def scenario_slow_handler(s):
    """A document whose application keeps running, so that the opener waits
    for it, at zero, after EXECUTER and after "Simulation": the window goes on
    answering throughout, and what it started lives in a session of its own
    with the environment the timer was given."""
    s.start_servers(record=False)
    d = s.fresh_dir()
    home = slow_viewer_home(s, d)
    # A Wayland socket that is not there: the program asks for Wayland first
    # (and falls back to X11), which it must not pass on.
    given = {"WAYLAND_DISPLAY": "minutrex-e2e-no-wayland", "QT_QPA_PLATFORM": None}

    def check_viewer(p):
        sid, env = wait("the viewer's record", lambda: read_viewer(d), 10)
        s.check(sid != os.getsid(p.pid), f"the viewer runs in a session of its own ({sid}, {os.getsid(p.pid)})")
        # What any shell sets for itself does not count.
        added = sorted(set(env) - set(p.env) - {"PWD", "OLDPWD", "SHLVL", "_"})
        s.check(not added, f"the viewer gets no variable the timer added for itself ({added})")
        for name in ("WAYLAND_DISPLAY", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS"):
            s.check(env.get(name) == p.env.get(name), f"the viewer gets {name} as the timer was given it")

    for how in ("at zero", "EXECUTER", "Simulation"):
        s.write_settings(d, settings_lines(0, 0, 2 if how == "at zero" else 60, "Image", "picture.png", d + "/",
                                           "Lente"))
        if os.path.exists(os.path.join(d, "viewer")):
            os.remove(os.path.join(d, "viewer"))
        p = s.start_program(d, home=home, extra_env=given)
        w = p.wait_main_window(15)
        # "Simulation" is in the settings window, which then has to answer.
        window = p.settings_window if how == "Simulation" else p.main_window
        w = p.open_settings() if how == "Simulation" else w
        pings = Responsiveness(s, w)
        if how == "at zero":
            p.wait_title(lambda t: t == "00:00:00  Minutrex", "zero", 10)
        else:
            s.click(w, BUTTON_EXECUTER if how == "EXECUTER" else DIALOG_BUTTONS["Simulation"])
        since = time.monotonic()
        check_viewer(p)
        s.stays(f"{how}: the window open while the opener waits", lambda: p.running() and window(),
                since + 1.0 - time.monotonic(), "until the moment the user clicks")
        longest = pings.stop()
        s.check(longest < 1.0, f"{how}: the window never stopped answering for a second ({longest * 1000:.0f} ms)")
        if how == "Simulation":
            s.click(w, DIALOG_ANNULATION)
            p.wait("the main window back after Annulation", p.main_window, 1.0)
            p.stop()
            continue
        clicked = time.monotonic()
        s.click(p.main_window(), BUTTON_ANNULATION)
        status = p.wait_exit(max(0.0, clicked + 1.0 - time.monotonic()))
        s.log(f"ended {time.monotonic() - clicked:.3f} s after the click on ANNULATION began")
        s.check(status == 0, f"ANNULATION ends it with status 0 ({status})")
