"""Looks, accessibility and languages: dark desktops, twice the pixels, flat
faces whatever the style, screen readers, English and French."""

import collections
import os
import re

from buses import AccessibilityBus, connect, notifications, start_mock
from harness import (FIRST_RUN_LINES, MESSAGE, SCREEN, Failure, file_state, plain_env, read_file, settings_bytes,
                     settings_lines, title_seconds, wait, write_file)
from layout import (BUTTON_ANNULATION, BUTTON_EXECUTER, COMMENT_BOX, COMMENT_PANEL, DIALOG_BUTTONS, DIALOG_FACE,
                    DIALOG_MARGIN, DIALOG_TEXTS, FIELDS, FRAME_CAPTIONS, FRAME_INSIDE, FRAME_INSIDES, MAIN_FACE,
                    MAIN_SIZE, MAIN_TEXTS, OPTION_BOXES, TEAL, WINDOW_GREY)
from screen import check_box_inside, face_pixels, ink_rows, text_contrast

# A desktop with a dark palette: Qt takes its colours from the GTK theme.
DARK_DESKTOP = {"QT_QPA_PLATFORMTHEME": "gtk3", "GTK_THEME": "Adwaita:dark"}


def scenario_dark_palette(s):
    d = s.fresh_dir(settings_lines(0, 25, 0, "Pause thé", "rappel.ogg", "/home/claire/Musique/",
                                   "La bouilloire !", (1, 1, 1, 0)))
    p = s.start_program(d, extra_env=DARK_DESKTOP)
    p.wait_counting(5)

    def measure(win, boxes, img):
        for name, box in boxes.items():
            ratio, text, background = text_contrast(img, win, box)
            s.expect(ratio >= 4.5, f"{name}: text {text} on {background}, contrast {ratio:.1f}:1")
        return img

    w = p.main_window()
    measure(w, MAIN_TEXTS, painted_screenshot(s, p, w, COMMENT_BOX[:2], COMMENT_PANEL, "dark-main"))
    dialog = p.open_settings()
    img = measure(dialog, DIALOG_TEXTS, painted_screenshot(s, p, dialog, DIALOG_MARGIN, WINDOW_GREY, "dark-settings"))
    for name, box in FRAME_CAPTIONS.items():
        ratio, text, background = text_contrast(img, dialog, box)
        s.expect(text == TEAL, f"frame caption {name} keeps its teal (got {text} on {background})")

    # Options 1 to 3 are ticked, the fourth is not: a tick must show on the box.
    fills = set()
    for (name, box), ticked in zip(OPTION_BOXES.items(), (True, True, True, False)):
        fill, marked = check_box_inside(img, dialog, box, FRAME_INSIDE)
        fills.add(fill)
        if ticked:
            s.expect(marked >= 8, f"{name} ticked: {marked} pixels of its mark stand out 3:1 from its box {fill}")
        else:
            s.expect(marked == 0, f"{name} unticked: its box {fill} is plain ({marked} pixels stand out)")
    for name in FIELDS:
        fills.add(text_contrast(img, dialog, DIALOG_TEXTS[name])[2])
    s.expect(len(fills) == 1, f"the text fields and the check boxes share one background ({fills})")


def scenario_scale_two(s):
    """Twice the pixels on a 1024x768 screen: the settings window is taller
    than the screen; it must fit, and its buttons be reachable."""
    d = s.fresh_dir()
    p = s.start_program(d, extra_env={"QT_SCALE_FACTOR": "2"})
    main_size = (MAIN_SIZE[0] * 2, MAIN_SIZE[1] * 2)
    w = p.wait("main window twice as large", lambda: p.window_of_size(main_size), 10)
    s.key(w, "F2")
    dialog = p.wait("settings window", lambda: next((x for x in p.windows() if (x.w, x.h) != main_size), None), 3)
    s.log(f"settings window {dialog}")
    screen_w, screen_h = (int(v) for v in SCREEN.split("x")[:2])
    s.check(0 <= dialog.x and 0 <= dialog.y and dialog.x + dialog.w <= screen_w and dialog.y + dialog.h <= screen_h,
            f"the settings window lies inside the {screen_w}x{screen_h} screen ({dialog})")

    # The button row is where Annulation and OK show their light faces with
    # the window's grey between Annulation and Simulation.
    annulation, simulation, ok = (DIALOG_BUTTONS[name] for name in ("Annulation", "Simulation", "OK"))
    gap = (annulation[0] + annulation[2] + simulation[0]) // 2

    def button_rows():
        img = s.screenshot("scale-two-settings", replace=True)
        rows = 0
        for y in range(dialog.y, dialog.y + dialog.h):
            faces = [img.pixel(dialog.x + 2 * x, y) for x in (annulation[0] + 40, ok[0] + 40)]
            rows += all(min(c) >= 208 for c in faces) and img.pixel(dialog.x + 2 * gap, y) == WINDOW_GREY
        return rows if rows >= 40 else None
    s.screenshot("scale-two-settings")
    rows = p.wait("Annulation and OK to show", button_rows, 3, interval=0.2)
    s.log(f"ok: Annulation and OK show, {rows} pixel rows tall, inside the window")
    before = file_state(os.path.join(d, "Minutrex.ini"))
    s.key(dialog, "Return")
    p.wait("main window back after Return", lambda: p.window_of_size(main_size), 3)
    s.check(file_state(os.path.join(d, "Minutrex.ini")) != before, "Return confirmed and wrote the settings")


def check_distinct_names(s, window, objects):
    """Every shown control has a name, and no two share one; a caption that
    labels a control lends it its name and is not counted."""
    shown = [o for o in objects if o["showing"] and not o["label_for"]]
    controls = [o for o in shown if o["role"] in ("push button", "check box", "text", "spin button", "image")]
    s.check(all(o["name"].strip() for o in controls),
            f"every control of {window} has a name ({[(o['role'], o['name']) for o in controls]})")
    names = collections.Counter(o["name"].strip() for o in shown if o["name"].strip())
    s.check(all(n == 1 for n in names.values()),
            f"no two elements of {window} share a name ({[n for n, c in names.items() if c > 1]})")
    descriptions = collections.Counter(o["description"] for o in controls if o["description"])
    s.check(all(n == 1 for n in descriptions.values()),
            f"no two controls of {window} share a description ({[d for d, c in descriptions.items() if c > 1]})")
    s.check(objects and objects[0].get("window") and objects[0]["role"] == "frame",
            f"{window} is presented as a frame (role {objects[0]['role'] if objects else None!r})")


def scenario_accessibility(s):
    bus = AccessibilityBus(s)
    # A folder for the file dialog: a sub-folder and a file of 1.5 KiB from a known minute.
    music = os.path.join(s.root, "Musique")
    os.makedirs(os.path.join(music, "Anciens"))
    rappel = write_file(os.path.join(music, "rappel.ogg"), b"\0" * 1536)
    os.utime(rappel, (1709647620, 1709647620))  # 2024-03-05 14:07 UTC
    d = s.fresh_dir(settings_lines(0, 25, 0, "Pause thé", "rappel.ogg", music + "/",
                                   "La bouilloire !", (1, 1, 1, 0)))
    p = s.start_program(d, extra_env=dict(bus.env, TZ="UTC"))
    p.wait_counting(5)

    def time_panel(objects):
        return next((o for o in objects if o["description"] == "CLic : Pause - DoubleClick : Réglages paramétres"),
                    None)

    # Read between two looks at the title: both the same, so the reading
    # belongs to that tick.
    matched = []

    def read_tick():
        before = p.main_window().name
        panel = time_panel(bus.windows().get(before, []))
        if before == p.main_window().name and panel is not None:
            if panel["name"] != before[:8] or panel["value"] != title_seconds(before):
                raise Failure(f"the time panel reads {panel['name']!r} (value {panel['value']}) "
                              f"while the title is {before!r}")
            if before not in matched:
                s.log(f"ok: the time panel reads {panel['name']!r}, value {panel['value']}, with the title {before!r}")
                matched.append(before)
        return len(matched) >= 3
    p.wait("three ticks read out", read_tick, 6, 0, lambda: f"only {len(matched)} read")
    check_distinct_names(s, "the main window", bus.windows()[p.main_window().name])

    dialog = p.open_settings()
    objects = bus.wait_objects(dialog.name, lambda objs: any(o["showing"] for o in objs))
    check_distinct_names(s, "the settings window", objects)
    # Behind the settings the count is paused, and the panel says so: the
    # reader hears of the change through the accessibility bus, a moment on.
    seen = []

    def paused_panel():
        windows = bus.windows()
        title = next((name for name in windows if title_seconds(name) is not None), None)
        panel = time_panel(windows.get(title, []))
        seen[:] = [title, panel and panel["name"]]
        return panel is not None and panel["name"] == title[:8] + " EN PAUSE"
    p.wait("the paused panel read out", paused_panel, 3, 0.05, lambda: f"title {seen[0]!r}, panel {seen[1]!r}")
    s.log(f"ok: the paused panel reads {seen[1]!r} ({seen[0]!r})")

    # The toolkit's file dialog speaks the program's language, under the C locale too.
    s.click(dialog, DIALOG_BUTTONS["Parcourir"])
    french = ("Dossier", "05/03/2024 14:07", "1,50 Kio")
    bus.wait_objects("Choisissez un fichier ...",
                     lambda objs: all(any(o["name"] == text for o in objs) for text in french), timeout=8)
    s.log(f"ok: the file dialog lists a folder as {french[0]!r}, a file's date as {french[1]!r} "
          f"and its size as {french[2]!r}")
    p.dismiss(p.wait_window("Choisissez un fichier ...", 3), "Escape")


# What a person reads in each language; French is the program's own, for the C locale too.
FRENCH_TEXTS = {"help": "Usage : minutrex [OPTION]", "quit": "ANNULATION", "run": "EXECUTER",
                "no action": "(aucune action)", "cancel": "Annulation", "try": "Simulation",
                "no target": "Aucun fichier cible !",
                "notice": "Fin du décompte : échec de l'action « Essai »."}
LANGUAGES = {
    "en_US.UTF-8": {"help": "Usage: minutrex [OPTION]", "quit": "QUIT", "run": "RUN NOW", "no action": "(no action)",
                    "cancel": "Cancel", "try": "Try out", "no target": "No target file!",
                    "notice": "Count over: action “Essai” failed."},
    "fr_FR.UTF-8": FRENCH_TEXTS,
    "C": FRENCH_TEXTS,
}


def scenario_languages(s):
    """English under an English locale; French, exactly as ever, under a
    French one and the C locale; the same settings file in all three."""
    bus = AccessibilityBus(s)
    address = bus.env["DBUS_SESSION_BUS_ADDRESS"]
    connection = connect(address)
    start_mock(s, "notification-mock", address, connection, "org.freedesktop.Notifications",
               "--template", "notification_daemon")

    def notice_bodies():
        return [str(n["body"]) for n in notifications(connection)]

    shown = {}
    for language, texts in LANGUAGES.items():
        env = dict(bus.env, LANG=language)
        r = s.run_quiet(s.args.binary, "--help", timeout=10, env=plain_env(LANG=language))
        s.check(r.returncode == 0 and r.stdout.splitlines()[0] == texts["help"],
                f"{language}: --help begins {texts['help']!r} ({r.stdout.splitlines()[:1]})")

        # A first run: its file, the main window, the settings, a message.
        d = s.fresh_dir()
        p = s.start_program(d, extra_env=env)
        p.wait_main_window()
        s.check(read_file(os.path.join(d, "Minutrex.ini")) == settings_bytes(FIRST_RUN_LINES),
                f"{language}: the first-run file as ever")
        p.wait("the main window read out", lambda: {texts["quit"], texts["run"], texts["no action"]} <= bus.names(),
               10)
        main = bus.names()
        s.log(f"ok: {language}: the main window reads {texts['quit']!r}, {texts['run']!r}, {texts['no action']!r}")
        dialog = p.open_settings()
        p.wait("the settings window read out", lambda: {texts["cancel"], texts["try"]} <= bus.names(dialog.name), 10)
        s.log(f"ok: {language}: the settings window reads {texts['cancel']!r} and {texts['try']!r}")
        shown[language] = (main, bus.names(dialog.name))
        s.key(dialog, "Escape")
        w = p.wait("the main window back", p.main_window, 5)
        s.click(w, BUTTON_EXECUTER)
        box = p.wait_window(MESSAGE, 5)
        p.wait("the message read out", lambda: any(texts["no target"] in n for n in bus.names(box.name)), 10)
        s.log(f"ok: {language}: the message reads {texts['no target']!r}")
        p.stop()

        # The end notice of a count whose target is missing.
        before = len(notice_bodies())
        p = s.start_program(s.fresh_dir(settings_lines(0, 0, 1, "Essai", "absent.sh", "", "Langue")), extra_env=env)
        bodies = wait("the end notice", lambda: notice_bodies()[before:], 15)
        s.check(bodies == [texts["notice"]], f"{language}: the notice reads {texts['notice']!r} ({bodies})")
        p.stop()
    # The French of a French locale is the French of the C locale, to the letter.
    fr, c = shown["fr_FR.UTF-8"], shown["C"]

    def strip(found):
        return {n for n in found if title_seconds(n) is None and not re.match(r"^\d\d:\d\d:\d\d", n)}
    s.check(strip(fr[0]) == strip(c[0]) and strip(fr[1]) == strip(c[1]),
            f"fr_FR and C read the same ({sorted(strip(fr[0]) ^ strip(c[0]))}, {sorted(strip(fr[1]) ^ strip(c[1]))})")


def painted_screenshot(s, p, win, point, colour, label):
    """A screenshot once the window has been drawn: the point shows its known background colour."""
    def probe():
        img = s.screenshot(label, replace=True)
        return img if img.pixel(win.x + point[0], win.y + point[1]) == colour else None
    s.screenshot(label)
    return p.wait(f"{label} drawn", probe, 3, interval=0.05)


def scenario_looks(s):
    """Flat button faces and frame insides whatever the style or theme; the comment wraps between words."""
    variants = (("default", {}), ("windows", {"QT_STYLE_OVERRIDE": "windows"}),
                ("fusion", {"QT_STYLE_OVERRIDE": "fusion"}), ("dark desktop", DARK_DESKTOP))
    for label, env in variants:
        p = s.start_program(s.fresh_dir(), extra_env=env)
        w = p.wait_main_window()
        img = painted_screenshot(s, p, w, COMMENT_BOX[:2], COMMENT_PANEL, f"main-{label}")
        for name, box in (("ANNULATION", BUTTON_ANNULATION), ("EXECUTER", BUTTON_EXECUTER)):
            seen = face_pixels(img, w, box)
            s.check(seen == {MAIN_FACE}, f"{label}: the face of {name} is flat {MAIN_FACE} (saw {sorted(seen)[:4]})")
        # The background panel is a flat light grey there.
        bands = ink_rows(img, w, COMMENT_BOX, COMMENT_PANEL)
        s.check(len(bands) == 2, f"{label}: the first-run comment is on two lines (ink bands {bands})")
        first, second = (b[3] - b[2] for b in bands[:2])
        # Broken inside "DOUBLE-CLIC", the first line would be the longer one.
        s.check(second > first, f"{label}: the second line starts with DOUBLE-CLIC (widths {first}, {second})")

        dialog = p.open_settings()
        img = painted_screenshot(s, p, dialog, DIALOG_MARGIN, WINDOW_GREY, f"settings-{label}")
        for name, box in DIALOG_BUTTONS.items():
            seen = face_pixels(img, dialog, box)
            s.check(seen == {DIALOG_FACE}, f"{label}: the face of {name} is flat {DIALOG_FACE} (saw {sorted(seen)[:4]})")
        for name, (x, y) in FRAME_INSIDES.items():
            seen = {img.pixel(dialog.x + x + dx, dialog.y + y + dy) for dx in (-2, 0, 2) for dy in (-2, 0, 2)}
            s.check(seen == {FRAME_INSIDE}, f"{label}: the inside of {name} is {FRAME_INSIDE} (saw {sorted(seen)})")
        p.stop()
