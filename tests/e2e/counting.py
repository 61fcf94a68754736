"""Counting and the display: the first run, the beeps, the action on time, every digit, the pause."""

import math
import random
import time

from harness import FIRST_RUN_LINES, Missed, Failure, read_file, settings_bytes, settings_lines, title_seconds
from layout import TIME_PANEL
from screen import colon_state, read_display

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
    s.start_servers()
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
    bursts = s.recorder.bursts()
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
    bursts = s.recorder.bursts()
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
    s.start_servers(record=False)
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
