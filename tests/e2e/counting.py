"""Counting, the display and the end of the count: the first run, the beeps,
the action on time, every digit, the pause; a missing target, a document no
application opens, ANNULATION, the about box at zero, an opener that waits."""

import math
import os
import random
import subprocess
import sys
import time

from harness import (ACTION_SLACK, FIRST_RUN_LINES, MARK_SCRIPT, MESSAGE, Failure, Missed, read_file, read_mark,
                     settings_bytes, settings_lines, title_seconds, wait, write_file, write_script)
from layout import BUTTON_ANNULATION, BUTTON_EXECUTER, DIALOG_ANNULATION, DIALOG_BUTTONS, HOURGLASS, TIME_PANEL
from screen import Responsiveness, colon_state, png_bytes, read_display

# First runs watched from their launch until one shows its window before its
# first tick; each takes about a second.
FIRST_SIGHT_TRIES = 5


def before_first_tick(s, p, label):
    """The first title, the delay and unlit colons on a window first seen before
    its first tick; raises Missed when the window was first seen after it."""
    w = p.wait_main_window()
    s.log(f"main window {w}")
    # The first tick comes 333 ms after the count starts at the launch, and
    # the window shows shortly before it: an observer can miss the moment.
    if title_seconds(w.name) is not None:
        raise Missed(f"the main window was first seen after the first tick ({w.name!r})")
    s.check(w.name == s.first_title, f"first title is {s.first_title!r} (got {w.name!r})")
    img, w = p.wait_display(s.first_title, "00:00:30", label)
    s.check(colon_state(img, w) == "unlit", f"colon dots unlit before the first tick (got {colon_state(img, w)})")


def scenario_first_run(s):
    s.start_servers(record=True)
    d = s.fresh_dir()
    p = s.start_program(d)
    try:
        before_first_tick(s, p, "before-first-tick")
        missed = None
    except Missed as e:
        missed = e
        s.log(f"{e}: the first moments are judged on further first runs")
    w = p.main_window()

    data = read_file(f"{d}/Minutrex.ini")
    s.check(len(data) == 230, f"Minutrex.ini has 230 bytes (got {len(data)})")
    s.check(data == settings_bytes(FIRST_RUN_LINES), f"Minutrex.ini holds the first-run lines (got {data!r})")

    if not missed:
        w = p.wait_title(lambda t: t != s.first_title, "first tick", 2)
    # The count runs from the process start: by now it has counted at most
    # the seconds since then, begun or whole.
    counted = max(1, math.ceil(time.monotonic() - p.start_mono))
    left = title_seconds(w.name)
    s.check(left is not None and 1 <= 30 - left <= counted,
            f"the first tick counts down from 00:00:30 (got {w.name!r}, at most {counted} s since the process started)")
    img, w = p.wait_display(w.name, w.name[:8], "after-first-tick", follow=True)
    s.check(colon_state(img, w) == "lit", f"colon dots lit once counting (got {colon_state(img, w)})")
    # The artwork is read by Qt's own PNG reader: no image-format plugin is
    # loaded on the way to the window.
    with open(f"/proc/{p.pid}/maps") as f:
        plugins = sorted({line.split()[-1] for line in f if "/imageformats/" in line})
    s.check(p.running() and not plugins, f"no image-format plugin loaded ({plugins})")

    s.stays("still counting", p.running, 2.5 - (time.monotonic() - p.start_mono),
            "the first 2.5 s are listened to whole")
    bursts = s.beeps()
    s.check(len(bursts) == 1, f"exactly one start beep heard in the first 2.5 s (heard {len(bursts)})")
    if not missed:
        return
    p.stop()
    for attempt in range(1, FIRST_SIGHT_TRIES + 1):
        again = s.start_program(s.fresh_dir())
        try:
            return before_first_tick(s, again, f"before-first-tick-{attempt}")
        except Missed as e:
            s.log(f"first run {attempt + 1}: {e}")
        finally:
            again.stop()
    raise Failure(f"the main window was first seen after its first tick in {FIRST_SIGHT_TRIES + 1} first runs")


def scenario_final_beeps(s):
    d, p = s.start_marked(6, "Six secondes")
    w = p.wait_main_window()
    s.log(f"main window {w} seen {p.window_wall - p.start_wall:.3f} s after the process started")
    p.ends(12, "after the action")
    s.check_ran_on_time(p, s.wait_mark(d), 6)
    bursts = s.beeps()
    s.check(len(bursts) == 7, f"seven beeps: one at the start and six in the last seconds (heard {len(bursts)})")
    # The sound server may start a beep a little late on a busy machine, and a
    # late timer puts a beep on the next tick, a third of a second on: the
    # gaps are loose, the span of the six tight but for one tick.
    gaps = [round(b[0] - a[0], 2) for a, b in zip(bursts[1:], bursts[2:])]
    span = round(bursts[-1][0] - bursts[1][0], 2)
    s.check(all(0.5 <= g <= 1.5 for g in gaps) and 4.6 <= span <= 5.4,
            f"the six final beeps are a second apart (gaps {gaps}, first to last {span} s)")


def scenario_three_seconds(s):
    """A three-second count runs its target on time."""
    d, p = s.start_marked(3, "Trois secondes")
    p.wait_main_window()
    p.ends(10, "after the action")
    s.check_ran_on_time(p, s.wait_mark(d), 3)


def scenario_all_digits(s):
    # Between them, these two counts show all ten digits in the places that
    # stay for eight seconds or more, so any of their first seconds will do.
    seen = set()
    for delay, prefix in (((6, 37, 49), "06:37:4"), ((18, 29, 59), "18:29:5")):
        p = s.start_program(s.fresh_dir(settings_lines(*delay, "Chiffres", "", "", "Tous les chiffres")))
        p.wait_main_window()
        w = p.wait_title(lambda t: t.startswith(prefix) and title_seconds(t) is not None, f"title {prefix}x", 3)
        s.click(w, TIME_PANEL)  # a pause holds the display still for as long as looking takes
        img, w = p.wait_display(w.name, w.name[:8], prefix.replace(":", ""), follow=True)
        seen |= set(read_display(img, w)[0]) - {":"}
        p.annul()
    s.check(seen == set("0123456789"), f"all ten digits shown ({sorted(seen)})")


def scenario_pause(s):
    d, p = s.start_first_run_counting()
    w = p.main_window()
    s.click(w, TIME_PANEL)
    # Paused once the title has stood still for longer than a tick's second.
    paused = p.steady_title(1.2, 5)
    s.check(title_seconds(paused) is not None, f"title still shows a time when paused ({paused!r})")
    titles, colons, shown = set(), [], set()
    start = time.monotonic()

    def look():
        title, img = s.look(w, "paused")
        titles.add(title)
        colons.append(colon_state(img, w))
        shown.add(read_display(img, w)[0])
        # Uneven steps, so that looks cannot keep in step with the blink.
        time.sleep(random.uniform(0.02, 0.3))
        return time.monotonic() - start >= 1.5 and {"lit", "unlit"} <= set(colons)
    # At least 1.5 s, and until the dots have been seen both lit and unlit.
    p.wait("the colon dots seen both lit and unlit while paused", look, 8, 0, lambda: f"seen {colons}")
    s.check(titles == {paused}, f"title stands still while paused ({sorted(titles)})")
    s.check(shown == {paused[:8]}, f"display stands still at the paused time ({sorted(shown)})")
    s.check(set(colons) <= {"lit", "unlit"}, f"colon dots blink while paused ({colons})")

    s.click(w, TIME_PANEL)
    resumed = p.wait_title(lambda t: t != paused, "title change after resuming", 3).name
    s.check(title_seconds(resumed) is not None and title_seconds(paused) - title_seconds(resumed) == 1,
            f"count resumed from the paused time ({paused!r} -> {resumed!r})")
    s.stays("colon dots lit while counting", lambda: colon_state(s.screenshot("running", replace=True), w) == "lit",
            0.5, "sampled over half a second", interval=0.08)


def scenario_missing_target(s):
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
    p.dismiss(p.wait_window(MESSAGE, 3))
    s.stays("a failed EXECUTER leaves the program open", p.running, 0.3, "a while for the program to end, were it to")

    # Now the target exists: "EXECUTER" runs it and the program ends.
    write_script(os.path.join(d, "mark.sh"), MARK_SCRIPT)
    s.click(p.main_window(), BUTTON_EXECUTER)
    p.ends(5, "after EXECUTER with the target in place")
    s.wait_mark(d)


def scenario_no_application(s):
    """A document that no application opens, on a machine kept busy: the
    opener's failure is awaited, reported, and the program stays open."""
    s.start_servers()  # before the machine is kept busy
    d = s.marked_dir(1, "Opener", action="Sans application", target="data.zzq", mark=False)
    write_file(os.path.join(d, "data.zzq"), bytes(range(256)) * 4)  # no type that any application claims
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
    write_file(os.path.join(applications, "slow-viewer.desktop"),
               f"[Desktop Entry]\nType=Application\nName=Slow viewer\nExec={viewer} %f\nMimeType=image/png;\n")
    write_file(os.path.join(home, "config", "mimeapps.list"), "[Default Applications]\nimage/png=slow-viewer.desktop\n")
    write_file(os.path.join(d, "picture.png"), png_bytes(4, 4, bytes((255, 0, 0)) * 16))
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
