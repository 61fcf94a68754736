"""The settings window and the settings file: OK, Annulation, the keyboard,
several copies and their files, settings files that are no regular file."""

import math
import os
import stat
import time

from harness import (FIRST_RUN_LINES, TITLE_RE, file_state, read_file, settings_bytes, settings_line, settings_lines,
                     title_seconds)
from layout import ACTION_NAME_BOX, DIALOG_ANNULATION, DIALOG_HOURS, DIALOG_OK, DIALOG_SECONDS


def scenario_settings_ok(s):
    d, p = s.start_first_run_counting()
    dialog = p.open_settings()
    s.type_in(dialog, DIALOG_SECONDS, "05")
    clicked = time.monotonic()
    s.click(dialog, DIALOG_OK)
    p.wait_main_window(3)
    s.check(p.settings_window() is None, "the settings window is gone after OK")
    # The title keeps the old time until the restarted count's first tick.
    w = p.wait_title(lambda t: title_seconds(t) is not None and title_seconds(t) <= 5, "the restarted count", 3)
    left, late = title_seconds(w.name), time.monotonic() - clicked
    data = read_file(os.path.join(d, "Minutrex.ini"))
    expected = settings_bytes(settings_lines(0, 0, 5, "", "", "", ""))
    s.check(data == expected, f"Minutrex.ini holds the new delay and the dialog's fields (got {data!r})")
    # Restarted at 5, the count can have ticked once per second since the click, begun or whole.
    s.check(left is not None and 5 - math.ceil(late) <= left <= 5,
            f"the count restarts from 00:00:05 ({w.name!r} seen {late:.2f} s after the click)")
    p.wait_display(w.name, w.name[:8], "restarted", follow=True)
    w = p.wait_title(lambda t: title_seconds(t) is not None and title_seconds(t) <= 3, "00:00:03 in the title", 2)
    p.wait_display(w.name, w.name[:8], "counting", follow=True)


def scenario_settings_cancel(s):
    d, p = s.start_first_run_counting()
    ini = os.path.join(d, "Minutrex.ini")
    before_state = file_state(ini)
    opening = time.monotonic()
    before = title_seconds(p.main_window().name)
    dialog = p.open_settings()
    opening = time.monotonic() - opening
    s.type_in(dialog, DIALOG_HOURS, "000005")
    s.stays("the settings window open", lambda: p.running() and p.settings_window() is not None, 4,
            "long enough that a count going on behind it would show")
    closing = time.monotonic()
    s.click(dialog, DIALOG_ANNULATION)
    w = p.wait_main_window(3)
    closing = time.monotonic() - closing
    s.check(p.settings_window() is None, "the settings window is gone after Annulation")
    s.check(file_state(ini) == before_state, "Minutrex.ini is untouched")
    at_cancel = title_seconds(w.name)
    # The count may tick only while the dialog opens and closes: once per second of each, begun or whole.
    ticks = math.ceil(opening) + math.ceil(closing)
    s.check(at_cancel is not None and 0 <= before - at_cancel <= ticks,
            f"the count goes on from where it stood when the dialog opened ({before} s -> {w.name!r}, "
            f"at most {ticks} tick(s) in the {opening:.2f} s and {closing:.2f} s around the dialog)")
    later = title_seconds(p.wait_title(lambda t: t != w.name, "title change after Annulation", 3).name)
    s.check(later == at_cancel - 1, f"and it runs ({at_cancel} -> {later})")


def scenario_keyboard(s):
    d, p = s.start_first_run_counting()
    ini = os.path.join(d, "Minutrex.ini")
    s.key(p.main_window(), "p")
    # A tick already under way may still move it once.
    paused = p.steady_title(1.2, 3)
    s.check(title_seconds(paused) is not None, f"P pauses: the title stands still at {paused!r}")
    s.key(p.main_window(), "Pause")
    p.wait_title(lambda t: t != paused, "the count to go on after the Pause key", 1.5)
    s.log("the Pause key resumes")

    before = file_state(ini)
    s.key(p.main_window(), "F2")
    dialog = p.wait("settings window after F2", p.settings_window, 3)
    s.check(p.main_window() is None, "F2 opens the settings in place of the main window")
    s.key(dialog, "Escape")
    p.wait_main_window(3)
    s.check(p.settings_window() is None and file_state(ini) == before, "Escape closes the settings without writing")

    s.key(p.main_window(), "Return")
    dialog = p.wait("settings window after Return", p.settings_window, 3)
    s.type_in(dialog, DIALOG_HOURS, "000020")
    s.key(dialog, "Return")
    p.wait_title(lambda t: t in ("00:00:19  Minutrex", "00:00:18  Minutrex"), "the count restarted from 20 s", 3)
    s.check(read_file(ini).split(b"\r\n")[1:4] == [b" 0 ", b" 0 ", b" 20 "], "Return confirmed the new delay")

    s.key(p.main_window(), "F1")
    p.dismiss(p.wait_window("About", 3))
    s.check(p.running(), "still running")


def scenario_two_timers(s):
    """Two copies from one folder, each with its own settings file."""
    d = s.fresh_dir()
    a = s.write_settings(os.path.join(d, "a.ini"), settings_lines(0, 5, 0, "Thé", "", "", "Thé dans 5 minutes"))
    b = os.path.join(d, "b.ini")
    s.keep.append(b)
    pa = s.start_program(d, args=["--config", "a.ini"])
    wa = pa.wait_title(lambda t: title_seconds(t) in (298, 299), "00:04:59 from a.ini", 5)
    pb = s.start_program(d, args=["--config", "b.ini"])
    wb = pb.wait_title(lambda t: title_seconds(t) in (28, 29), "00:00:29 from a new b.ini", 5)
    b_seen = time.monotonic()
    s.log(f"a: {wa}, b: {wb}")
    # Told apart by their files' names.
    s.check(TITLE_RE.match(wa.name).group(4) == "a" and TITLE_RE.match(wb.name).group(4) == "b",
            f"each title names its file ({wa.name!r}, {wb.name!r})")
    s.check(read_file(b) == settings_bytes(FIRST_RUN_LINES), "b.ini is created with the first-run lines")
    s.check(not os.path.exists(os.path.join(d, "Minutrex.ini")), "no Minutrex.ini beside the program")

    # Without a window manager both windows open at the same place.
    s.tool("xdotool", "windowmove", "--sync", wb.id, "600", "0")
    b_before = file_state(b)
    dialog = pa.open_settings()
    s.type_in(dialog, DIALOG_HOURS, "001500")
    s.click(dialog, DIALOG_OK)
    pa.wait_title(lambda t: title_seconds(t) in (898, 899), "a restarting from 00:15:00", 5)
    lines = read_file(a).split(b"\r\n")
    s.check(lines[1:4] == [b" 0 ", b" 15 ", b" 0 "], f"a.ini holds the new delay ({lines[1:4]})")
    s.check(file_state(b)[1:] == b_before[1:], "b.ini is untouched")
    # b follows the clock from where it was seen, a second of rounding and a
    # tick behind at most, and never goes back up.
    shown = title_seconds(wb.name)

    def b_on_its_own():
        w = pb.main_window()
        left = title_seconds(w.name) if w else None
        return pb.running() and left is not None and left <= min(shown, shown - (time.monotonic() - b_seen) + 1.5)
    s.stays("b goes on counting its own delay", b_on_its_own, 1.0,
            "a b that restarted with a's save would show 00:00:30 for a second")


def scenario_shared_settings(s):
    """Two copies on one settings file: a save of one is never undone unasked
    by the other. Values longer than a text box's usual limit come back whole."""
    d = s.fresh_dir()
    shared = s.write_settings(os.path.join(d, "shared.ini"), settings_lines(0, 5, 0, "Thé", "", "", "Partagé"))
    pa = s.start_program(d, args=["--config", "shared.ini"])
    pa.wait_main_window()
    pb = s.start_program(d, args=["--config", "shared.ini"])
    wb = pb.wait_main_window()
    # Without a window manager both windows open at the same place.
    s.tool("xdotool", "windowmove", "--sync", wb.id, "600", "0")

    # A renames its action; B opens its settings afterwards and confirms them
    # unchanged: they show A's name, which stays.
    dialog = pa.open_settings()
    s.type_in(dialog, ACTION_NAME_BOX, "ChangedByA", replace=True)
    pa.confirm(dialog)
    s.check(settings_line(shared, 4) == "ChangedByA", "A's name is in the file")
    dialog = pb.open_settings()
    pb.confirm(dialog)
    s.check(settings_line(shared, 4) == "ChangedByA", f"B's OK keeps A's name ({settings_line(shared, 4)!r})")

    # B's settings are open while A saves again: B's OK asks before it writes.
    dialog_b = pb.open_settings()
    s.tool("xdotool", "windowmove", "--sync", dialog_b.id, "650", "0")
    dialog_b = pb.wait("B's settings window moved", pb.settings_window, 3)
    dialog_a = pa.open_settings()
    s.type_in(dialog_a, ACTION_NAME_BOX, "SecondByA", replace=True)
    pa.confirm(dialog_a)
    s.type_in(dialog_b, ACTION_NAME_BOX, "ChangedByB", replace=True)
    s.click(dialog_b, DIALOG_OK)
    question = pb.wait_window("Minutrex", 5)  # whose settings to keep
    s.screenshot("whose-settings")
    s.check(settings_line(shared, 4) == "SecondByA", "nothing written before the answer")
    # Its first answer keeps this window's values; the next one takes the other copy's.
    s.key(question, "Tab", "space")
    pb.wait("B's main window back", pb.main_window, 5)
    s.check(settings_line(shared, 4) == "SecondByA",
            f"taking the other copy's settings leaves them in the file ({settings_line(shared, 4)!r})")
    pa.stop()
    pb.stop()

    # Longer than the 32,767 characters a text box takes by default.
    d = s.fresh_dir()
    name = ("Nom-" * 10000)[:40000]
    parameters = ("p" * 9 + " ") * 4000
    lines = settings_lines(0, 5, 0, name, "prog.sh " + parameters, d + "/", "Long")
    ini = s.write_settings(d, lines)
    p = s.start_program(d)
    p.wait_main_window()
    p.confirm(p.open_settings())
    after = read_file(ini)
    s.check(after == settings_bytes(lines), "a 40,000-character action name and parameter list survive OK "
            f"byte for byte ({len(after)} bytes against {len(settings_bytes(lines))})")


def scenario_hostile_settings(s):
    """A settings file that is no regular file at the end of its links: one
    message, a failure status, and the thing itself untouched."""
    for what in ("link to a device", "pipe", "chain of two links to a pipe"):
        d = s.fresh_dir()
        ini = os.path.join(d, "Minutrex.ini")
        end = ini if what == "pipe" else os.path.join(d, "end")
        if what.endswith("device"):
            os.mknod(end, 0o666 | stat.S_IFCHR, os.makedev(1, 3))
        else:
            os.mkfifo(end)
        if what.startswith("chain"):
            os.symlink("end", os.path.join(d, "middle"))
            os.symlink("middle", ini)
        elif what.startswith("link"):
            os.symlink("end", ini)
        before = os.lstat(end)
        p = s.start_program(d)
        p.dismiss(p.wait_window("Minutrex", 10))
        status = p.wait_exit(5)
        s.check(status != 0, f"{what}: minutrex ends with a failure status (got {status})")
        after = os.lstat(end)
        s.check((after.st_mode, after.st_rdev, after.st_ino) == (before.st_mode, before.st_rdev, before.st_ino),
                f"{what}: left as it was")
        made = ["minutrex", "Minutrex.ini"] + ["end"] * (end != ini) + ["middle"] * what.startswith("chain")
        s.check(sorted(os.listdir(d)) == sorted(made), f"{what}: nothing else created ({sorted(os.listdir(d))})")
