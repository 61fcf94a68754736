"""Steps that several scenarios take: the settings window, messages, the
display read while the title says which time it shows, the target that marks
when it ran, an installation into a temporary prefix."""

import os

from harness import Failure, Missed, read_file, settings_lines, title_seconds, wait
from layout import ACTION_NAME_BOX, BUTTON_ANNULATION, DIALOG_HOURS, DIALOG_OK, TIME_PANEL
from screen import read_display

# How late past its delay an action may run, counted from the process start
# (the count runs from there): the program's loading before it reads the
# clock, the last tick's timer, then a shell, `date` and `mv` to start on a
# busy two-core machine.
ACTION_SLACK = 0.6

MARK_SCRIPT = ('#!/bin/sh\n# Records when it ran, to the nanosecond.\n'
               'date +%s.%N > "$(dirname "$0")/ran.tmp" && mv "$(dirname "$0")/ran.tmp" "$(dirname "$0")/ran"\n')


def write_script(path, text):
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, 0o755)
    return path


def marked_dir(s, seconds, comment, action="Marque", target="mark.sh", options=(1, 1, 1, 1), mark=True):
    """A fresh copy whose settings count `seconds` towards `target` in its own
    directory, beside the mark script unless mark is false."""
    d = s.fresh_dir()
    if mark:
        write_script(os.path.join(d, "mark.sh"), MARK_SCRIPT)
    s.write_settings(d, settings_lines(0, 0, seconds, action, target, d + "/", comment, options))
    return d


def start_marked(s, seconds, comment, record=True):
    """Servers, and a fresh copy counting `seconds` towards the mark script; (directory, program)."""
    s.start_servers(record=record)
    d = marked_dir(s, seconds, comment)
    return d, s.start_program(d)


def read_mark(directory):
    """When the mark script ran, as wall-clock seconds, or None; the script
    renames its mark into place, so a mark is never seen half written."""
    path = os.path.join(directory, "ran")
    return float(read_file(path).strip()) if os.path.exists(path) else None


def wait_mark(directory, timeout=5):
    """When the mark script ran, or None if not within `timeout` s: it is
    started detached, so it may finish after the program has ended."""
    try:
        return wait(f"mark of the target script in {directory}", lambda: read_mark(directory), timeout)
    except Failure:
        return None


def check_ran_on_time(s, p, ran, delay):
    """The action at wall time `ran` (None: it did not run) came `delay` seconds into the count."""
    s.check(ran is not None, "the target ran")
    since_process = ran - p.start_wall
    s.log(f"the target ran {since_process:.3f} s after the process started, "
          f"{ran - p.window_wall:.3f} s after the main window was first seen")
    # The count runs from the launch, so neither before the delay has passed
    # since then, nor later by the time the program takes to show its window.
    s.check(since_process >= delay, f"the target ran no earlier than {delay} s after the process started "
            f"({since_process:.3f})")
    s.check(since_process <= delay + ACTION_SLACK, f"the target ran at most {delay + ACTION_SLACK:.1f} s after "
            f"the process started ({since_process:.3f})")


def start_first_run_counting(s):
    """A fresh copy started without a settings file, once its first tick has come."""
    s.start_servers(record=False)
    d = s.fresh_dir()
    p = s.start_program(d)
    p.wait_main_window()
    p.wait_counting()
    return d, p


def wait_display(s, p, title, expected, label, follow=False):
    """A screenshot once the display shows `expected` while the title reads `title`.

    The window may be painted a moment after its title is set, so one look
    is not enough; but once painted, the display must show it before the
    title moves on.
    Each look reads the title and the screen at one moment. With follow, once
    the title has moved on to another time, that time is what the display
    must show, so a slow observer cannot break the check.
    Returns the screenshot and the main window.
    """
    w = p.main_window()
    if w is None:
        raise Failure(f"no main window while waiting for the display to show {expected}")
    seen = []

    class MovedOn(Exception):
        pass

    def probe():
        now, img = s.look(w, label, replace=bool(seen))
        if now != title:
            if follow and (title_seconds(now) or 0) > 0:
                raise MovedOn(now)
            # A window mapped but not yet painted shows no segment lit or unlit.
            if not any(c in "01" for _, patterns in seen for c in "".join(patterns)):
                raise Missed(f"the display not painted while the title read {title!r} (title now {now!r})")
            raise Failure(f"the display did not show {expected} while the title read {title!r} "
                          f"(last seen {seen[-1][0]}; title now {now!r})")
        seen.append(read_display(img, w))
        return img if seen[-1][0] == expected else None
    while True:
        try:
            img = wait(f"display showing {expected} (title {title!r})", probe, 1.5, 0.02,
                       detail=lambda: "display shows {} (segments {})".format(*seen[-1]))
            break
        except MovedOn as moved:
            title, expected = moved.args[0], moved.args[0][:8]
            s.log(f"the title moved on to {title!r}: the display must show that")
    w.name = title
    s.log(f"ok: display shows {expected} (title {title!r})")
    return img, w


def open_settings(s, p):
    w = p.main_window()
    s.click(w, TIME_PANEL, double=True)
    dialog = p.wait("settings window", p.settings_window, 3)
    s.log(f"settings window {dialog}")
    s.check(p.main_window() is None, "the main window is hidden while the settings window is open")
    # Qt on X11 puts the application's name in place of an empty title, so
    # blanks are how a window can show none; what counts is that none shows.
    s.expect(dialog.name.strip() == "", f"the settings window shows no title (got {dialog.name!r})")
    s.screenshot("settings-window")
    return dialog


def set_delay(s, dialog, text, section=DIALOG_HOURS):
    # A click selects the section under it; each full section moves on to the next.
    s.click(dialog, section)
    s.type_text(text)
    s.screenshot("delay-typed")


def set_action_name(s, dialog, name):
    s.click(dialog, ACTION_NAME_BOX)
    s.tool("xdotool", "key", "ctrl+a")
    s.type_text(name)


def confirm_settings(s, p, dialog):
    s.click(dialog, DIALOG_OK)
    p.wait("the main window back after OK", p.main_window, 5)


def annul(s, p):
    s.click(p.main_window(), BUTTON_ANNULATION)
    p.ends(3, "after ANNULATION")


def dismiss_message(s, p, box):
    """Return in a message box, which then goes; the program may end with it."""
    s.key(box, "Return")
    wait(f"message {box.name!r} to close", lambda: p.window_named(box.name) is None, 3)


def settings_line(path, index):
    return read_file(path).split(b"\r\n")[index].decode("cp1252")


def file_state(path):
    st = os.stat(path)
    return read_file(path), st.st_mtime_ns, st.st_ino


def install(s):
    """The build installed into a temporary prefix; the prefix."""
    prefix = os.path.join(s.root, "prefix")
    r = s.run_quiet(s.args.cmake, "--install", s.args.build_dir, "--prefix", prefix)
    if r.returncode != 0:
        raise Failure(f"cmake --install failed: {r.stdout}{r.stderr}")
    s.log(f"installed into {prefix}")
    return prefix
