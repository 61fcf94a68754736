#!/usr/bin/env python3
"""End-to-end scenarios for Minutrex: the real program, driven as a person would.

Each scenario starts its own X server (Xvfb, no window manager) and its own
sound server (a PulseAudio daemon whose only sink is a null sink, recorded
through its monitor), copies the minutrex binary into a fresh directory, starts
it, clicks and types with xdotool, and checks only what a person can see and
hear: window titles, lit and unlit segments in screenshots, beeps in the
recording, the settings file, and whether the target program ran. It never
looks inside the program. Python standard library only, except the desktop
session scenarios, which run python3-dbusmock services on private buses.

The program never reaches the machine's own D-Bus buses: unless a scenario
starts private ones, its bus addresses name sockets that do not exist.

When a scenario fails, its screenshots, recording, settings files and logs
are kept under <failures>/<scenario>/. Every process the scenario started is
ended on the way out, whatever happened.

Usage: minutrex_e2e.py --binary PATH --build-dir DIR --cmake PATH --cpack PATH
                       --program-version V --failures DIR [--timeout S] SCENARIO
"""

import argparse
import array
import collections
import ctypes
import json
import math
import os
import random
import re
import select
import shutil
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import time
import traceback
import wave
import zlib

# The settings window is 678 pixels tall: a 640x480 screen would put its
# buttons off the bottom edge.
SCREEN = "1024x768x24"

TWIPS_PER_PIXEL = 15
MAIN_SIZE = (234, 224)
DIALOG_SIZE = (322, 678)

# Seven-segment geometry in twips, relative to the main window's client area.
CELL_LEFT = (960, 1200, 1560, 1800, 2160, 2400)
# Middle of Segm1 .. Segm7 as (offset from the cell's left verticals, y).
SEGMENT_MIDDLES = ((120, 1625), (120, 1745), (50, 1815), (0, 1745), (0, 1625), (50, 1560), (50, 1695))
# Segm7 of the hours' units digit runs 1200..1270, 15 twips left of the rule.
SEGM7_CELL12_MIDDLE = 35
DIGIT_PATTERNS = {
    "1111110": "0", "1100000": "1", "1011011": "2", "1110011": "3", "1100101": "4",
    "0110111": "5", "0111111": "6", "1100010": "7", "1111111": "8", "1110111": "9",
}
LIT = (0, 255, 0)
UNLIT = (0, 84, 0)
COLON_X = (1440, 2040)
COLON_TOP, COLON_BOTTOM = 1620, 1775  # both layouts of the dots lie inside

# Pixel boxes (x, y, w, h) in the windows' client areas.
TIME_PANEL = (48, 96, 137, 33)
BUTTON_ANNULATION = (20, 176, 89, 25)
BUTTON_EXECUTER = (123, 176, 89, 25)
HOURGLASS = (24, 27, 27, 46)
DIALOG_ANNULATION = (16, 640, 81, 25)
DIALOG_OK = (224, 640, 81, 25)
DIALOG_HOURS = (58, 92)  # the hours section of the time editor
DIALOG_SECONDS = (97, 92)  # and its seconds
DIALOG_BUTTONS = {"Annulation": (16, 640, 81, 25), "Simulation": (120, 640, 81, 25), "OK": (224, 640, 81, 25),
                  "Parcourir": (16 + 24, 136 + 96, 81, 25)}
# Blank points inside each frame, in the settings window.
FRAME_INSIDES = {"DECOMPTEUR": (16 + 140, 40 + 60), "ACTION": (16 + 270, 136 + 110),
                 "COMMENTAIRES": (16 + 275, 392 + 60), "OPTIONS": (16 + 240, 504 + 20)}
COMMENT_BOX = (23, 144, 188, 31)  # above the buttons, which overlap its bottom
MAIN_FACE = (192, 192, 192)
DIALOG_FACE = (224, 224, 224)
FRAME_INSIDE = (192, 192, 192)

DESCRIPTION = ("Descrip.Lignes : 1-Heures,2-Minutes,3-Secondes,4-Action,5-Fichier,"
               "6-Path,7-Observ,8/9/10-Options")
OBS_DEFAULT = " " * 9 + "CLIC sur l'heure : Pause" + " " * 7 + "DOUBLE-CLIC : Réglages Paramètres"
FIRST_RUN_LINES = [DESCRIPTION, " 0 ", " 0 ", " 30 ", "(aucune action)", "", "", OBS_DEFAULT,
                   " 1 ", " 1 ", " 1 ", " 1 "]
FIRST_TITLE = None  # "Minutrex v<version>  ", set from --program-version
# A settings file given with --config adds its name after the program's.
TITLE_RE = re.compile(r"^(\d\d):(\d\d):(\d\d)  Minutrex(?: – (.+))?$")

# The AppStream id, which names the desktop entry and the metadata files.
APP_ID = "org.example.minutrex"
ICON_SIZES = (16, 32, 48, 64, 128, 256)

# The unprivileged user the read-only scenario runs the program as, when we are root.
NOBODY = 65534

# A beep is a burst of sound above this peak level (of 32767); the bell of
# the sound theme peaks near 10000 at full volume.
BEEP_LEVEL = 1500

# How late past its delay an action may run, counted from the process start
# (the count runs from there): the program's loading before it reads the
# clock, the last tick's timer, then a shell, `date` and `mv` to start on a
# busy two-core machine.
ACTION_SLACK = 0.6

MARK_SCRIPT = '#!/bin/sh\n# Records when it ran, to the nanosecond.\ndate +%s.%N > "$(dirname "$0")/ran.tmp" && mv "$(dirname "$0")/ran.tmp" "$(dirname "$0")/ran"\n'


class Failure(Exception):
    """A check of the scenario did not hold."""


class ScenarioTimeout(Failure):
    pass


class Missed(Failure):
    """The observer looked too late: what it was to see had already passed."""


def poll(what, probe, timeout, interval=0.01):
    """probe()'s first true value, tried every `interval` s for up to `timeout` s.

    Whatever another process writes is read through this, never looked at once.
    """
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure(f"no {what} within {timeout} s")
        time.sleep(interval)


def px(twips):
    return int(twips / TWIPS_PER_PIXEL + 0.5)


def settings_bytes(lines):
    return b"".join(line.encode("cp1252") + b"\r\n" for line in lines)


def settings_lines(h, m, s, action, target, directory, comment, options=(1, 1, 1, 1)):
    return [DESCRIPTION, f" {h} ", f" {m} ", f" {s} ", action, target, directory, comment] + \
        [f" {o} " for o in options]


def title_seconds(title):
    m = TITLE_RE.match(title or "")
    if not m:
        return None
    h, mi, s = (int(g) for g in m.group(1, 2, 3))
    return h * 3600 + mi * 60 + s


_libc = ctypes.CDLL(None, use_errno=True)


def _die_with_parent():
    # A driver killed by a harsh timeout must not leave servers behind.
    _libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def remove_tree(path):
    # The read-only install has directories without write bits.
    for dirpath, dirnames, _ in os.walk(path):
        for name in dirnames:
            try:
                os.chmod(os.path.join(dirpath, name), 0o755)
            except OSError:
                pass
    shutil.rmtree(path, ignore_errors=True)


def png_bytes(width, height, rgb):
    raw = b"".join(b"\x00" + rgb[y * width * 3:(y + 1) * width * 3] for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        raise Failure(f"{path} is not a PNG file")
    return struct.unpack(">II", head[16:24])


class Image:
    """A screenshot of the whole screen, read back pixel by pixel."""

    def __init__(self, ppm):
        fields = []
        pos = 0
        while len(fields) < 4:
            while ppm[pos:pos + 1].isspace():
                pos += 1
            end = pos
            while not ppm[end:end + 1].isspace():
                end += 1
            fields.append(ppm[pos:end])
            pos = end
        if fields[0] != b"P6" or fields[3] != b"255":
            raise Failure(f"unexpected screenshot format {fields!r}")
        self.width, self.height = int(fields[1]), int(fields[2])
        self.rgb = ppm[pos + 1:pos + 1 + self.width * self.height * 3]

    def pixel(self, x, y):
        if not (0 <= x < self.width and 0 <= y < self.height):
            return None
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def png(self):
        return png_bytes(self.width, self.height, self.rgb)


def segment_state(img, x, y):
    """'1' lit, '0' unlit, '?' neither or both, looking at the 3x3 pixels around (x, y)."""
    seen = {img.pixel(x + dx, y + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)}
    if LIT in seen and UNLIT not in seen:
        return "1"
    if UNLIT in seen and LIT not in seen:
        return "0"
    return "?"


def read_display(img, win):
    """The six digits as HH:MM:SS ('?' for a pattern that is no digit), and the raw patterns."""
    digits, patterns = [], []
    for left in CELL_LEFT:
        pattern = ""
        for k, (dx, y) in enumerate(SEGMENT_MIDDLES):
            if k == 6 and left == 1200:
                dx = SEGM7_CELL12_MIDDLE
            pattern += segment_state(img, win.x + px(left + dx), win.y + px(y))
        patterns.append(pattern)
        digits.append(DIGIT_PATTERNS.get(pattern, "?"))
    return "{}{}:{}{}:{}{}".format(*digits), patterns


def colon_state(img, win):
    """'lit' or 'unlit' when all four dots agree, else what was seen."""
    states = []
    for x in COLON_X:
        seen = set()
        for col in range(px(x) - 2, px(x) + 2):
            for row in range(px(COLON_TOP), px(COLON_BOTTOM) + 1):
                seen.add(img.pixel(win.x + col, win.y + row))
        if LIT in seen and UNLIT not in seen:
            states.append("lit")
        elif UNLIT in seen and LIT not in seen:
            states.append("unlit")
        else:
            states.append("unclear")
    return states[0] if states[0] == states[1] else "/".join(states)


def count_bursts(path):
    """Bursts of sound in a WAV file: list of (start, end) in seconds."""
    with wave.open(path) as w:
        channels, rate, width = w.getnchannels(), w.getframerate(), w.getsampwidth()
        if width != 2:
            raise Failure(f"recording has {8 * width}-bit samples, expected 16")
        samples = array.array("h", w.readframes(w.getnframes()))
    if sys.byteorder == "big":
        samples.byteswap()
    step = rate // 100  # 10 ms
    loud = []
    for start in range(0, len(samples) // channels, step):
        chunk = samples[start * channels:(start + step) * channels]
        loud.append(bool(chunk) and max(max(chunk), -min(chunk)) > BEEP_LEVEL)
    bursts = []
    for i, is_loud in enumerate(loud):
        t = i / 100
        if not is_loud:
            continue
        if bursts and t - bursts[-1][1] <= 0.06:
            bursts[-1][1] = t + 0.01
        else:
            bursts.append([t, t + 0.01])
    return [(round(a, 2), round(b, 2)) for a, b in bursts if b - a >= 0.02]


class Window:
    def __init__(self, wid, name, x, y, w, h):
        self.id, self.name, self.x, self.y, self.w, self.h = wid, name, x, y, w, h

    def __repr__(self):
        return f"<window {self.id} {self.name!r} {self.w}x{self.h}+{self.x}+{self.y}>"


class Session:
    """One scenario's servers, program copies, artefacts and clean-up."""

    def __init__(self, name, args):
        self.name = name
        self.args = args
        self.root = tempfile.mkdtemp(prefix=f"minutrex-e2e-{name}-")
        os.chmod(self.root, 0o755)  # nobody must reach the read-only install
        self.started = time.monotonic()
        self.procs = []
        self.shots = []
        self.keep = []  # files worth keeping when the scenario fails
        self.log_lines = []
        self.deferred = []  # failed checks that let the scenario go on
        self.display = None
        self.pulse_server = None
        self.recorder = None
        # Addresses of the private buses; none started: sockets that do not exist.
        self.system_bus = "unix:path=" + os.path.join(self.root, "no-system-bus")
        self.session_bus = "unix:path=" + os.path.join(self.root, "no-session-bus")
        self.dirs = 0

    # -- reporting

    def log(self, message):
        line = f"[{time.monotonic() - self.started:7.3f}] {message}"
        self.log_lines.append(line)
        print(line, flush=True)

    def check(self, condition, message):
        if not condition:
            raise Failure(message)
        self.log(f"ok: {message}")

    def expect(self, condition, message):
        """Like check, but the scenario goes on and fails at its end."""
        if condition:
            self.log(f"ok: {message}")
        else:
            self.deferred.append(message)
            self.log(f"FAILED (going on): {message}")

    def finish(self):
        if self.deferred:
            raise Failure("; ".join(self.deferred))

    # -- processes

    def spawn(self, label, cmd, **kwargs):
        out = open(os.path.join(self.root, f"{label}.log"), "ab")
        kwargs.setdefault("stdin", subprocess.DEVNULL)
        proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.STDOUT, preexec_fn=_die_with_parent, **kwargs)
        out.close()
        self.procs.append((label, proc))
        self.keep.append(os.path.join(self.root, f"{label}.log"))
        return proc

    def stop(self, proc, sig=signal.SIGTERM, wait=3.0):
        if proc.poll() is not None:
            return
        try:
            proc.send_signal(sig)
            proc.wait(wait)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(3)
        except ProcessLookupError:
            pass

    def close(self):
        # A display connection still open when the X server goes would end
        # the driver itself (Xlib's fatal error).
        for pings in getattr(self, "pings", []):
            pings.stop(quiet=True)
        if self.recorder:
            self.recorder.stop()
        for label, proc in reversed(self.procs):
            self.stop(proc)

    def tool(self, *cmd, timeout=10, check=True):
        env = dict(os.environ, DISPLAY=self.display or "")
        result = subprocess.run(cmd, capture_output=True, env=env, timeout=timeout)
        if check and result.returncode != 0:
            raise Failure(f"{' '.join(cmd)} failed ({result.returncode}): {result.stderr.decode(errors='replace')}")
        return result

    # -- servers

    def start_x(self):
        read_end, write_end = os.pipe()
        self.xvfb = self.spawn("xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN,
                                        "-ac", "-nolisten", "tcp", "-noreset"], pass_fds=(write_end,))
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 15
        while not number.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
            if not ready:
                raise Failure("Xvfb did not report its display within 15 s")
            data = os.read(read_end, 16)
            if not data:
                raise Failure("Xvfb ended before it reported its display")
            number += data
        os.close(read_end)
        self.display = ":" + number.decode().strip()
        self.log(f"X server on {self.display}")

    def start_pulse(self):
        base = os.path.join(self.root, "pulse")
        home = os.path.join(base, "home")
        runtime = os.path.join(base, "runtime")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        os.chmod(base, 0o755)
        socket = os.path.join(base, "native")
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": home, "XDG_RUNTIME_DIR": runtime}
        self.spawn("pulseaudio", ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--system=false",
                                  "--disallow-exit", "--use-pid-file=false", "--log-target=stderr",
                                  "-L", "module-null-sink sink_name=rec",
                                  "-L", f"module-native-protocol-unix auth-anonymous=1 socket={socket}"],
                   env=env)
        self.pulse_server = "unix:" + socket
        deadline = time.monotonic() + 15
        while True:
            r = subprocess.run(["pactl", "info"], capture_output=True, env=self.pulse_env())
            if r.returncode == 0:
                break
            if time.monotonic() > deadline:
                raise Failure("the PulseAudio daemon did not answer within 15 s")
            time.sleep(0.05)
        subprocess.run(["pactl", "set-default-sink", "rec"], check=True, capture_output=True, env=self.pulse_env())
        self.log(f"sound server on {self.pulse_server}, default sink rec")

    def pulse_env(self):
        return {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "PULSE_SERVER": self.pulse_server,
                "HOME": os.path.join(self.root, "pulse", "home")}

    def start_bus(self, label):
        """A private message bus with the session bus's open policy; its address."""
        read_end, write_end = os.pipe()
        socket = os.path.join(self.root, f"{label}-bus")
        self.spawn(f"{label}-bus", ["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                    f"--address=unix:path={socket}", f"--print-address={write_end}"],
                   pass_fds=(write_end,))
        os.close(write_end)
        address = b""
        deadline = time.monotonic() + 15
        while not address.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], max(0.0, deadline - time.monotonic()))
            if not ready:
                raise Failure(f"the {label} bus did not report its address within 15 s")
            data = os.read(read_end, 256)
            if not data:
                raise Failure(f"the {label} bus ended before it reported its address")
            address += data
        os.close(read_end)
        return address.decode().strip()

    def start_desktop_services(self, notification_capabilities=None):
        """Private system and session buses with a mock logind and a mock
        notification server (with the capabilities given, else its own);
        returns a DesktopServices to query them. Each call starts new ones."""
        self.buses = getattr(self, "buses", 0) + 1
        self.system_bus = self.start_bus(f"system{self.buses}")
        self.session_bus = self.start_bus(f"session{self.buses}")
        env = dict(os.environ, DBUS_SYSTEM_BUS_ADDRESS=self.system_bus, DBUS_SESSION_BUS_ADDRESS=self.session_bus)
        self.spawn("logind-mock", [sys.executable, "-m", "dbusmock", "--system", "--template", "logind"], env=env)
        parameters = []
        if notification_capabilities is not None:
            parameters = ["--parameters", json.dumps({"capabilities": notification_capabilities})]
        self.spawn("notification-mock", [sys.executable, "-m", "dbusmock", "--session",
                                         "--template", "notification_daemon", *parameters], env=env)
        services = DesktopServices(self)
        services.wait_ready()
        self.log(f"mock logind on {self.system_bus}, mock notification server on {self.session_bus}")
        return services

    def start_servers(self, record=True):
        self.start_x()
        self.start_pulse()
        if record:
            self.recorder = Recorder(self)
            self.recorder.start()

    # -- program

    def fresh_dir(self, settings=None):
        """A new directory holding a copy of the binary, and optionally a settings file."""
        self.dirs += 1
        d = os.path.join(self.root, f"run{self.dirs}")
        os.makedirs(d)
        shutil.copy2(self.args.binary, os.path.join(d, "minutrex"))
        if settings is not None:
            with open(os.path.join(d, "Minutrex.ini"), "wb") as f:
                f.write(settings_bytes(settings))
        self.keep.append(os.path.join(d, "Minutrex.ini"))
        return d

    def start_program(self, exe, cwd, user=None, home=None, args=(), extra_env=None):
        home = home or os.path.join(self.root, "home")
        runtime = os.path.join(home, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = {
            "PATH": os.environ.get("PATH", "/usr/bin:/bin"),
            "DISPLAY": self.display,
            "PULSE_SERVER": self.pulse_server,
            "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, "config"),
            "XDG_RUNTIME_DIR": runtime,
            "QT_QPA_PLATFORM": "xcb",
            "LANG": "C.UTF-8",
            "DBUS_SYSTEM_BUS_ADDRESS": self.system_bus,
            "DBUS_SESSION_BUS_ADDRESS": self.session_bus,
        }
        for name, value in (extra_env or {}).items():
            if value is None:
                env.pop(name, None)  # None: not set at all
            else:
                env[name] = value
        cmd = [exe, *args]
        if user is not None:
            cmd = ["setpriv", f"--reuid={user}", f"--regid={user}", "--clear-groups", "--pdeathsig", "TERM", *cmd]
        return Program(self, cmd, cwd, env)

    # -- eyes, ears and hands

    def screenshot(self, label, replace=False):
        """The whole screen; with replace, it takes the place of the last one kept."""
        ppm = self.tool("import", "-window", "root", "-depth", "8", "ppm:-").stdout
        img = Image(ppm)
        if replace and self.shots:
            self.shots.pop()
        self.shots.append((f"{len(self.shots):02d}-{label}", img))
        return img

    def click(self, win, box_or_point, double=False):
        if len(box_or_point) == 4:
            x, y, w, h = box_or_point
            x, y = x + w // 2, y + h // 2
        else:
            x, y = box_or_point
        cmd = ["xdotool", "mousemove", "--sync", str(win.x + x), str(win.y + y), "click"]
        if double:
            cmd += ["--repeat", "2", "--delay", "80"]
        # Then out of the way, so that no tooltip covers what is looked at next.
        cmd += ["1", "mousemove", "--sync", "1020", "4"]
        self.tool(*cmd)

    def key(self, win, *keys):
        """Keys pressed in `win`, which gets the keyboard first."""
        self.tool("xdotool", "windowfocus", "--sync", win.id)
        self.tool("xdotool", "key", "--delay", "40", *keys)

    def type_text(self, text):
        self.tool("xdotool", "type", "--delay", "60", text)

    # -- failure artefacts

    def last_screenshot(self):
        """The screen as the failure left it, taken before the servers go."""
        if not self.display:
            return
        try:
            self.screenshot("at-failure")
        except Exception as e:  # the X server may be the thing that failed
            self.log(f"no screenshot at the failure: {e}")

    def save_failure(self, directory):
        shutil.rmtree(directory, ignore_errors=True)
        os.makedirs(directory)
        for name, img in self.shots:
            with open(os.path.join(directory, name + ".png"), "wb") as f:
                f.write(img.png())
        kept = list(self.keep)
        if self.recorder:
            kept.append(self.recorder.path)
        for path in kept:
            if os.path.isfile(path):
                rel = os.path.relpath(path, self.root).replace(os.sep, "_")
                shutil.copy2(path, os.path.join(directory, rel))
        with open(os.path.join(directory, "driver.log"), "w") as f:
            f.write("\n".join(self.log_lines) + "\n")


class Recorder:
    """Records the null sink's monitor into a WAV file."""

    def __init__(self, session):
        self.session = session
        self.path = os.path.join(session.root, "sound.wav")
        self.proc = None

    def start(self):
        self.proc = self.session.spawn("parec", ["parec", "-d", "rec.monitor", "--latency-msec=20",
                                                 "--file-format=wav", self.path], env=self.session.pulse_env())
        # parec needs a moment to connect; nothing counts until sound flows.
        deadline = time.monotonic() + 10
        while not (os.path.exists(self.path) and os.path.getsize(self.path) > 44 + 8192):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                raise Failure("parec did not start recording")
            time.sleep(0.01)
        self.session.log("recording the null sink")

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.session.stop(self.proc, signal.SIGINT, 5)  # SIGINT lets it finish the WAV header

    def bursts(self, settle=0.6):
        time.sleep(settle)  # the last beep still travels through the buffers
        self.stop()
        bursts = count_bursts(self.path)
        self.session.log(f"heard {len(bursts)} beep(s) at {[b[0] for b in bursts]} s of the recording")
        return bursts


class Program:
    """The running minutrex, seen from outside."""

    def __init__(self, session, cmd, cwd, env):
        self.session = session
        self.start_wall = time.time()
        self.start_mono = time.monotonic()
        self.window_wall = None  # when the main window was first seen
        self.env = env
        self.proc = session.spawn("minutrex", cmd, cwd=cwd, env=env)
        self.pid = self.proc.pid
        session.log(f"started {' '.join(cmd)} (pid {self.pid}) in {cwd}")

    def windows(self):
        s = self.session
        r = s.tool("xdotool", "search", "--onlyvisible", "--pid", str(self.pid), check=False)
        found = []
        for wid in r.stdout.split():
            wid = wid.decode()
            name = s.tool("xdotool", "getwindowname", wid, check=False)
            geo = s.tool("xdotool", "getwindowgeometry", wid, check=False)
            if name.returncode or geo.returncode:
                continue  # gone in between
            m = re.search(rb"Position: (-?\d+),(-?\d+).*Geometry: (\d+)x(\d+)", geo.stdout, re.S)
            if not m:
                continue
            title = name.stdout.decode("utf-8", errors="replace")
            if title.endswith("\n"):
                title = title[:-1]
            found.append(Window(wid, title, *(int(g) for g in m.groups())))
        return found

    def title_of(self, window):
        """The window's title now, or None once it is gone."""
        r = self.session.tool("xdotool", "getwindowname", window.id, check=False)
        if r.returncode:
            return None
        title = r.stdout.decode("utf-8", errors="replace")
        return title[:-1] if title.endswith("\n") else title

    def window_of_size(self, size):
        for w in self.windows():
            if (w.w, w.h) == size:
                return w
        return None

    def main_window(self):
        return self.window_of_size(MAIN_SIZE)

    def window_named(self, title):
        for w in self.windows():
            if w.name == title:
                return w
        return None

    def wait(self, what, fn, timeout, interval=0.01):
        deadline = time.monotonic() + timeout
        while True:
            value = fn()
            if value:
                return value
            if self.proc.poll() is not None:
                raise Failure(f"minutrex ended (status {self.proc.returncode}) while waiting for {what}")
            if time.monotonic() > deadline:
                raise Failure(f"no {what} within {timeout} s; windows: {self.windows()}")
            time.sleep(interval)

    def wait_main_window(self, timeout=10):
        w = self.wait("main window", self.main_window, timeout)
        if self.window_wall is None:
            self.window_wall = time.time()
        return w

    def wait_title(self, predicate, what, timeout):
        def probe():
            w = self.main_window()
            return w if w and predicate(w.name) else None
        return self.wait(what, probe, timeout)

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"minutrex still running {timeout} s later; windows: {self.windows()}")

    def running(self):
        return self.proc.poll() is None


class _XClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("l", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("type", ctypes.c_int), ("xclient", _XClientMessage), ("pad", ctypes.c_long * 24)]


class Responsiveness:
    """How promptly a window's own thread answers: it pings the window as a
    window manager does (_NET_WM_PING), which Qt answers from the thread that
    paints and ticks, and keeps the longest wait for an answer.

    Runs in a thread of the driver, on a display connection of its own."""

    CLIENT_MESSAGE = 33
    # Qt sends its answer to the root window for clients that watch the
    # root's structure (or redirect its children, as a window manager does).
    STRUCTURE_NOTIFY = 1 << 17
    SUBSTRUCTURE_NOTIFY = 1 << 19

    def __init__(self, session, window):
        import threading
        self.session = session
        self.window = int(window.id)
        self.longest = 0.0
        self.answers = 0
        self.unanswered = None  # a ping that never came back, with how long it waited
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        session.pings = getattr(session, "pings", []) + [self]
        self._thread.start()

    def _run(self):
        x = ctypes.CDLL("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                 ctypes.POINTER(_XEvent)]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XPending.argtypes = [ctypes.c_void_p]
        x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.POINTER(_XEvent)]
        x.XConnectionNumber.argtypes = [ctypes.c_void_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        dpy = x.XOpenDisplay(self.session.display.encode())
        if not dpy:
            self.unanswered = ("no display connection", 0.0)
            return
        protocols = x.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
        ping = x.XInternAtom(dpy, b"_NET_WM_PING", 0)
        root = x.XDefaultRootWindow(dpy)
        # The answer goes to the root window, where a window manager would hear it.
        x.XSelectInput(dpy, root, self.STRUCTURE_NOTIFY | self.SUBSTRUCTURE_NOTIFY)
        fd = x.XConnectionNumber(dpy)
        sequence = 0
        try:
            while not self._stop.is_set():
                sequence += 1
                event = _XEvent()
                event.xclient.type = self.CLIENT_MESSAGE
                event.xclient.window = self.window
                event.xclient.message_type = protocols
                event.xclient.format = 32
                event.xclient.l[0] = ping
                event.xclient.l[1] = sequence
                event.xclient.l[2] = self.window
                x.XSendEvent(dpy, self.window, 0, 0, ctypes.byref(event))
                x.XFlush(dpy)
                sent = time.monotonic()
                answered = False
                while not answered and not self._stop.is_set():
                    while x.XPending(dpy):
                        reply = _XEvent()
                        x.XNextEvent(dpy, ctypes.byref(reply))
                        if (reply.type == self.CLIENT_MESSAGE and reply.xclient.l[0] == ping
                                and reply.xclient.l[1] == sequence):
                            answered = True
                    if answered:
                        break
                    select.select([fd], [], [], 0.01)
                waited = time.monotonic() - sent
                if not answered:
                    self.unanswered = (f"ping {sequence}", waited)
                    break
                self.answers += 1
                self.longest = max(self.longest, waited)
                self._stop.wait(0.02)
        finally:
            x.XCloseDisplay(dpy)

    def stop(self, quiet=False):
        """Stops pinging; the longest wait for an answer, in seconds, counting
        a ping still unanswered at the stop."""
        if self._stop.is_set():
            return self.longest
        self._stop.set()
        self._thread.join(10)
        self.longest = max(self.longest, self.unanswered[1] if self.unanswered else 0.0)
        if not quiet:
            self.session.log(f"the window answered {self.answers} pings; longest wait {self.longest * 1000:.0f} ms")
        return self.longest


class DesktopServices:
    """What the mock logind and the mock notification server have been told."""

    def __init__(self, session):
        import dbus  # python3-dbus, a dependency of python3-dbusmock
        self.dbus = dbus
        self.session = session
        self.system = dbus.bus.BusConnection(session.system_bus)
        self.user = dbus.bus.BusConnection(session.session_bus)

    def wait_ready(self, timeout=15):
        deadline = time.monotonic() + timeout
        while not (self.system.name_has_owner("org.freedesktop.login1")
                   and self.user.name_has_owner("org.freedesktop.Notifications")):
            if time.monotonic() > deadline:
                raise Failure(f"the mock services did not appear on their buses within {timeout} s")
            time.sleep(0.05)

    def inhibitors(self):
        """(what, who, why, mode) of every inhibitor logind holds now."""
        manager = self.system.get_object("org.freedesktop.login1", "/org/freedesktop/login1")
        found = manager.ListInhibitors(dbus_interface="org.freedesktop.login1.Manager")
        return [(str(i[0]), str(i[1]), str(i[2]), str(i[3])) for i in found]

    def notifications(self):
        """The arguments of every Notify call the server received, as dicts."""
        server = self.user.get_object("org.freedesktop.Notifications", "/org/freedesktop/Notifications")
        calls = server.GetCalls(dbus_interface="org.freedesktop.DBus.Mock")
        names = ("app_name", "replaces_id", "app_icon", "summary", "body", "actions", "hints", "timeout")
        return [dict(zip(names, args)) for _, method, args in calls if method == "Notify"]

    def wait_inhibitors(self, p, expected, what, timeout):
        """Polls until logind holds exactly `expected` inhibitors; returns them."""
        deadline = time.monotonic() + timeout
        while True:
            held = self.inhibitors()
            if len(held) == expected:
                return held
            if time.monotonic() > deadline:
                raise Failure(f"{what}: logind holds {held} after {timeout} s, expected {expected} inhibitor(s)")
            if p is not None and not p.running():
                raise Failure(f"{what}: minutrex ended (status {p.proc.returncode}); logind holds {held}")
            time.sleep(0.02)

    def wait_notifications(self, count, what, timeout):
        deadline = time.monotonic() + timeout
        while True:
            found = self.notifications()
            if len(found) >= count:
                return found
            if time.monotonic() > deadline:
                raise Failure(f"{what}: {len(found)} notification(s) after {timeout} s, expected {count}")
            time.sleep(0.02)


def write_mark_script(directory, name="mark.sh"):
    path = os.path.join(directory, name)
    with open(path, "w") as f:
        f.write(MARK_SCRIPT)
    os.chmod(path, 0o755)
    return path


def read_mark(directory):
    """When the mark script ran, as wall-clock seconds, or None; the script
    renames its mark into place, so a mark is never seen half written."""
    path = os.path.join(directory, "ran")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return float(f.read().strip())


def wait_mark(directory, timeout=5):
    """When the mark script ran, or None if not within `timeout` s: it is
    started detached, so it may finish after the program has ended."""
    try:
        return poll(f"mark of the target script in {directory}", lambda: read_mark(directory), timeout)
    except Failure:
        return None


def check_ran_on_time(s, p, ran, delay):
    """The action at wall time `ran` (None: it did not run) came `delay` seconds into the count."""
    s.check(ran is not None, "the target ran")
    since_process = ran - p.start_wall
    since_window = ran - p.window_wall
    s.log(f"the target ran {since_process:.3f} s after the process started, "
          f"{since_window:.3f} s after the main window was first seen")
    # The count runs from the launch, so neither before the delay has passed
    # since then, nor later by the time the program takes to show its window.
    s.check(since_process >= delay, f"the target ran no earlier than {delay} s after the process started "
            f"({since_process:.3f})")
    s.check(since_process <= delay + ACTION_SLACK, f"the target ran at most {delay + ACTION_SLACK:.1f} s after "
            f"the process started ({since_process:.3f})")


def start_marked(s, seconds, comment, record=True):
    """A fresh copy counting `seconds` towards the mark script; (directory, program)."""
    s.start_servers(record=record)
    d = s.fresh_dir()
    write_mark_script(d)
    with open(os.path.join(d, "Minutrex.ini"), "wb") as f:
        f.write(settings_bytes(settings_lines(0, 0, seconds, "Marque", "mark.sh", d + "/", comment)))
    return d, s.start_program(os.path.join(d, "minutrex"), d)


def start_first_run_counting(s):
    """A fresh copy started without a settings file, once its first tick has come."""
    s.start_servers(record=False)
    d = s.fresh_dir()
    p = s.start_program(os.path.join(d, "minutrex"), d)
    p.wait_main_window()
    p.wait_title(lambda t: title_seconds(t) is not None, "first tick", 2)
    return d, p


# ---------------------------------------------------------------------------
# Scenarios


def scenario_first_run(s):
    s.start_servers()
    d = s.fresh_dir()
    p = s.start_program(os.path.join(d, "minutrex"), d)
    w = p.wait_main_window()
    s.log(f"main window {w}")
    first_title = w.name
    # The first tick comes 333 ms after the load: look at once. An observer
    # slowed by a busy machine may miss those 333 ms, and then has nothing to judge.
    late = title_seconds(first_title) is not None
    try:
        if late:
            raise Missed(f"the main window was first seen after the first tick ({first_title!r})")
        s.check(first_title == FIRST_TITLE, f"first title is {FIRST_TITLE!r} (got {first_title!r})")
        img, w = wait_display(s, p, FIRST_TITLE, "00:00:30", "before-first-tick")
        s.check(colon_state(img, w) == "unlit", f"colon dots unlit before the first tick (got {colon_state(img, w)})")
    except Missed as e:
        s.log(f"not judged before the first tick: {e}")

    ini = os.path.join(d, "Minutrex.ini")
    with open(ini, "rb") as f:
        data = f.read()
    s.check(len(data) == 230, f"Minutrex.ini has 230 bytes (got {len(data)})")
    s.check(data == settings_bytes(FIRST_RUN_LINES), f"Minutrex.ini holds the first-run lines (got {data!r})")

    titles = [first_title]

    def next_title():
        win = p.main_window()
        if win and win.name != titles[-1]:
            titles.append(win.name)
            return win
        return None
    if not late:
        w = p.wait("first tick", next_title, 2)
    # The count runs from the process start: by now it has counted at most
    # the seconds since then, begun or whole.
    counted = max(1, math.ceil(time.monotonic() - p.start_mono))
    left = title_seconds(w.name)
    s.check(left is not None and 1 <= 30 - left <= counted,
            f"the first tick counts down from 00:00:30 (got {w.name!r}, at most {counted} s since the process started)")
    img, w = wait_display(s, p, w.name, w.name[:8], "after-first-tick", follow=True)
    s.check(colon_state(img, w) == "lit", f"colon dots lit once counting (got {colon_state(img, w)})")
    # The artwork is read by Qt's own PNG reader: no image-format plugin is
    # loaded on the way to the window.
    with open(f"/proc/{p.pid}/maps") as f:
        plugins = sorted({line.split()[-1] for line in f if "/imageformats/" in line})
    s.check(p.running() and not plugins, f"no image-format plugin loaded ({plugins})")

    # A pause that must pass: the first 2.5 s are listened to whole.
    remaining = 2.5 - (time.monotonic() - p.start_mono)
    if remaining > 0:
        time.sleep(remaining)
    s.check(p.running(), "still counting")
    bursts = s.recorder.bursts()
    s.check(len(bursts) == 1, f"exactly one start beep heard in the first 2.5 s (heard {len(bursts)})")


def scenario_final_beeps(s):
    d, p = start_marked(s, 6, "Six secondes")
    w = p.wait_main_window()
    s.log(f"main window {w} seen {p.window_wall - p.start_wall:.3f} s after the process started")
    status = p.wait_exit(12)
    s.check(status == 0, f"minutrex exits with status 0 after the action (got {status})")
    check_ran_on_time(s, p, wait_mark(d), 6)
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
    d, p = start_marked(s, 3, "Trois secondes")
    p.wait_main_window()
    status = p.wait_exit(10)
    s.check(status == 0, f"minutrex exits with status 0 after the action (got {status})")
    check_ran_on_time(s, p, wait_mark(d), 3)


def scenario_pause(s):
    s.start_servers(record=False)
    d = s.fresh_dir()
    p = s.start_program(os.path.join(d, "minutrex"), d)
    p.wait_main_window()
    w = p.wait_title(lambda t: title_seconds(t) is not None, "first tick", 2)
    s.click(w, TIME_PANEL)
    s.log("clicked the time")
    # Paused once the title has stood still for longer than a tick's second.
    seen = [p.main_window().name, time.monotonic()]

    def still():
        now = p.main_window().name
        if now != seen[0]:
            seen[:] = [now, time.monotonic()]
        return time.monotonic() - seen[1] > 1.2
    poll("the title standing still after the click", still, 5, interval=0.05)
    paused = p.main_window().name
    s.check(title_seconds(paused) is not None, f"title still shows a time when paused ({paused!r})")
    titles, colons, shown = set(), [], set()
    # At least 1.5 s, and until the dots have been seen both lit and unlit.
    end, give_up = time.monotonic() + 1.5, time.monotonic() + 8
    while time.monotonic() < end or (not {"lit", "unlit"} <= set(colons) and time.monotonic() < give_up):
        img = s.screenshot("paused")
        w = p.main_window()
        titles.add(w.name)
        colons.append(colon_state(img, w))
        shown.add(read_display(img, w)[0])
        # Uneven steps, so that slow looks cannot keep in step with the blink.
        time.sleep(random.uniform(0.02, 0.3))
    s.check(titles == {paused}, f"title stands still while paused ({sorted(titles)})")
    s.check(shown == {paused[:8]}, f"display stands still at the paused time ({sorted(shown)})")
    s.check("lit" in colons and "unlit" in colons and set(colons) <= {"lit", "unlit"},
            f"colon dots blink while paused ({colons})")

    s.click(w, TIME_PANEL)
    s.log("clicked the time again")
    resumed = p.wait_title(lambda t: t != paused, "title change after resuming", 3).name
    s.check(title_seconds(resumed) is not None and title_seconds(paused) - title_seconds(resumed) == 1,
            f"count resumed from the paused time ({paused!r} -> {resumed!r})")
    colons = []
    for _ in range(6):
        img = s.screenshot("running")
        colons.append(colon_state(img, p.main_window()))
        time.sleep(0.08)  # sampling over half a second
    s.check(set(colons) == {"lit"}, f"colon dots stay lit while counting ({colons})")


def scenario_all_digits(s):
    s.start_servers(record=False)
    # Between them, these two counts show all ten digits in the places that
    # stay for eight seconds or more, so any of their first seconds will do.
    seen = set()
    for delay, prefix in (((6, 37, 49), "06:37:4"), ((18, 29, 59), "18:29:5")):
        d = s.fresh_dir(settings_lines(*delay, "Chiffres", "", "", "Tous les chiffres"))
        p = s.start_program(os.path.join(d, "minutrex"), d)
        p.wait_main_window()
        w = p.wait_title(lambda t: t.startswith(prefix) and title_seconds(t) is not None, f"title {prefix}x", 3)
        s.click(w, TIME_PANEL)  # a pause holds the display still for as long as looking takes
        img, w = wait_display(s, p, w.name, w.name[:8], prefix.replace(":", ""), follow=True)
        seen |= set(read_display(img, w)[0]) - {":"}
        s.click(w, BUTTON_ANNULATION)
        s.check(p.wait_exit(3) == 0, "ANNULATION ends it")
    s.check(seen == set("0123456789"), f"all ten digits shown ({sorted(seen)})")


def wait_display(s, p, title, expected, label, follow=False):
    """Screenshots until the display shows `expected` while the title reads `title`.

    The window may be painted a moment after its title is set, so one look
    is not enough; but the display must show it before the title moves on.
    A screenshot counts only when the title read the same just before and
    after it: one that spans a tick says nothing about either. With follow,
    once the title has moved on to another time, that time is what the
    display must show, so a slow observer cannot break the check.
    Returns the screenshot and the main window.
    """
    w = p.main_window()
    if w is None:
        raise Failure(f"no main window while waiting for the display to show {expected}")
    deadline = time.monotonic() + 1.5
    first = True
    seen = "nothing"
    while True:
        # The window stays where it is: only its title is read again, the quickest look.
        before = p.title_of(w)
        if before != title:
            if follow and (title_seconds(before) or 0) > 0:
                s.log(f"the title moved on to {before!r}: the display must show that")
                title, expected = before, before[:8]
                deadline = time.monotonic() + 1.5
            elif seen == "nothing":
                raise Missed(f"no screenshot taken while the title read {title!r} (title now {before!r})")
            else:
                raise Failure(f"the display did not show {expected} while the title read {title!r} "
                              f"(last seen {seen}; title now {before!r})")
        img = s.screenshot(label, replace=not first)
        first = False
        if p.title_of(w) != title:
            continue  # the screenshot may span a tick
        w.name = title
        shown, patterns = read_display(img, w)
        seen = shown
        if shown == expected:
            s.log(f"ok: display shows {expected} (title {title!r})")
            return img, w
        if time.monotonic() > deadline:
            raise Failure(f"display shows {shown} instead of {expected} (segments {patterns})")
        time.sleep(0.02)


def open_settings(s, p):
    w = p.main_window()
    s.click(w, TIME_PANEL, double=True)
    s.log("double-clicked the time")
    dialog = p.wait("settings window", lambda: p.window_of_size(DIALOG_SIZE), 3)
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


def scenario_settings_ok(s):
    d, p = start_first_run_counting(s)
    dialog = open_settings(s, p)
    set_delay(s, dialog, "05", DIALOG_SECONDS)
    clicked = time.monotonic()
    s.click(dialog, DIALOG_OK)
    s.log("clicked OK")
    p.wait_main_window(3)
    s.check(p.window_of_size(DIALOG_SIZE) is None, "the settings window is gone after OK")
    # The title keeps the old time until the restarted count's first tick.
    w = p.wait_title(lambda t: title_seconds(t) is not None and title_seconds(t) <= 5, "the restarted count", 3)
    left, late = title_seconds(w.name), time.monotonic() - clicked
    with open(os.path.join(d, "Minutrex.ini"), "rb") as f:
        data = f.read()
    expected = settings_bytes([DESCRIPTION, " 0 ", " 0 ", " 5 ", "", "", "", "", " 1 ", " 1 ", " 1 ", " 1 "])
    s.check(data == expected, f"Minutrex.ini holds the new delay and the dialog's fields (got {data!r})")
    # Restarted at 5, the count can have ticked once per second since the click, begun or whole.
    s.check(left is not None and 5 - math.ceil(late) <= left <= 5,
            f"the count restarts from 00:00:05 ({w.name!r} seen {late:.2f} s after the click)")
    wait_display(s, p, w.name, w.name[:8], "restarted", follow=True)
    w = p.wait_title(lambda t: title_seconds(t) is not None and title_seconds(t) <= 3, "00:00:03 in the title", 2)
    wait_display(s, p, w.name, w.name[:8], "counting", follow=True)


def scenario_settings_cancel(s):
    d, p = start_first_run_counting(s)
    ini = os.path.join(d, "Minutrex.ini")
    with open(ini, "rb") as f:
        before_bytes = f.read()
    before_stat = os.stat(ini)
    opening = time.monotonic()
    before = title_seconds(p.main_window().name)
    dialog = open_settings(s, p)
    opening = time.monotonic() - opening
    set_delay(s, dialog, "000005")
    # A pause that must pass: long enough that a count going on behind the dialog would show.
    time.sleep(4)
    closing = time.monotonic()
    s.click(dialog, DIALOG_ANNULATION)
    s.log("clicked Annulation")
    w = p.wait_main_window(3)
    closing = time.monotonic() - closing
    s.check(p.window_of_size(DIALOG_SIZE) is None, "the settings window is gone after Annulation")
    with open(ini, "rb") as f:
        after_bytes = f.read()
    after_stat = os.stat(ini)
    s.check(after_bytes == before_bytes and after_stat.st_mtime_ns == before_stat.st_mtime_ns
            and after_stat.st_ino == before_stat.st_ino, "Minutrex.ini is untouched")
    at_cancel = title_seconds(w.name)
    # The count may tick only while the dialog opens and closes: once per second of each, begun or whole.
    ticks = math.ceil(opening) + math.ceil(closing)
    s.check(at_cancel is not None and 0 <= before - at_cancel <= ticks,
            f"the count goes on from where it stood when the dialog opened ({before} s -> {w.name!r}, "
            f"at most {ticks} tick(s) in the {opening:.2f} s and {closing:.2f} s around the dialog)")
    later = title_seconds(p.wait_title(lambda t: t != w.name, "title change after Annulation", 3).name)
    s.check(later == at_cancel - 1, f"and it runs ({at_cancel} -> {later})")


def dismiss_message(s, p, box):
    s.tool("xdotool", "windowfocus", "--sync", box.id)
    s.tool("xdotool", "key", "Return")
    p.wait("message box to close", lambda: p.window_named("Minutrex - Action") is None, 3)


def scenario_missing_target(s):
    s.start_servers(record=False)
    d = s.fresh_dir()
    with open(os.path.join(d, "Minutrex.ini"), "wb") as f:
        f.write(settings_bytes(settings_lines(0, 0, 2, "Absent", "mark.sh", d + "/", "Cible absente")))
    p = s.start_program(os.path.join(d, "minutrex"), d)
    p.wait_main_window()
    box = p.wait("'Minutrex - Action' message", lambda: p.window_named("Minutrex - Action"), 5)
    s.log(f"message {box}")
    s.screenshot("missing-target-message")
    time.sleep(1.0)  # a while for the program to end, were it to
    s.check(p.running() and p.main_window() is not None, "the program stays open behind the message")
    dismiss_message(s, p, box)
    time.sleep(0.5)  # a while for the program to end, were it to
    s.check(p.running() and p.main_window() is not None, "the program stays open after the message")
    s.check(p.main_window().name == "00:00:00  Minutrex", f"showing 00:00:00 ({p.main_window().name!r})")

    # "EXECUTER" while the target is still missing: the same message, still open.
    s.click(p.main_window(), BUTTON_EXECUTER)
    box = p.wait("'Minutrex - Action' message after EXECUTER", lambda: p.window_named("Minutrex - Action"), 3)
    dismiss_message(s, p, box)
    time.sleep(0.3)  # a while for the program to end, were it to
    s.check(p.running(), "a failed EXECUTER leaves the program open")

    # Now the target exists: "EXECUTER" runs it and the program ends.
    write_mark_script(d)
    s.click(p.main_window(), BUTTON_EXECUTER)
    s.log("clicked EXECUTER with the target in place")
    status = p.wait_exit(5)
    s.check(status == 0, f"minutrex exits with status 0 after EXECUTER (got {status})")
    s.check(wait_mark(d) is not None, "the target ran")


def scenario_no_application(s):
    """A document that no application opens, on a machine kept busy: the
    opener's failure is awaited, reported, and the program stays open."""
    s.start_servers(record=False)
    d = s.fresh_dir()
    with open(os.path.join(d, "data.zzq"), "wb") as f:
        f.write(bytes(range(256)) * 4)  # no type that any application claims
    with open(os.path.join(d, "Minutrex.ini"), "wb") as f:
        f.write(settings_bytes(settings_lines(0, 0, 1, "Sans application", "data.zzq", d + "/", "Opener")))
    busy = [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(2)]
    try:
        p = s.start_program(os.path.join(d, "minutrex"), d)
        p.wait_main_window()
        box = p.wait("'Minutrex - Action' message", lambda: p.window_named("Minutrex - Action"), 60)
        s.log(f"message {box}")
        s.check(p.running(), "the program stays open behind the message")
        dismiss_message(s, p, box)
        s.check(p.running() and p.main_window() is not None, "the program stays open after the message")
    finally:
        for b in busy:
            b.kill()
            b.wait()


def scenario_hostile_settings(s):
    """A settings file that is no regular file at the end of its links: one
    message, a failure status, and the thing itself untouched."""
    s.start_servers(record=False)
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
        p = s.start_program(os.path.join(d, "minutrex"), d)
        box = p.wait(f"message for a {what}", lambda: p.window_named("Minutrex"), 10)
        dismiss_message(s, p, box)
        status = p.wait_exit(5)
        s.check(status != 0, f"{what}: minutrex ends with a failure status (got {status})")
        after = os.lstat(end)
        s.check((after.st_mode, after.st_rdev, after.st_ino) == (before.st_mode, before.st_rdev, before.st_ino),
                f"{what}: left as it was")
        s.check(sorted(os.listdir(d)) == sorted(["minutrex", "Minutrex.ini"] + (["end"] if end != ini else [])
                                                + (["middle"] if what.startswith("chain") else [])),
                f"{what}: nothing else created ({sorted(os.listdir(d))})")


def scenario_annulation(s):
    delay = 5
    d, p = start_marked(s, delay, "Annulation", record=False)
    w = p.wait_main_window()
    s.click(w, BUTTON_ANNULATION)
    s.log("clicked ANNULATION")
    status = p.wait_exit(3)
    ended = time.monotonic() - p.start_mono
    s.check(status == 0, f"minutrex exits with status 0 after ANNULATION (got {status})")
    # The count cannot reach zero sooner than its delay after the process start.
    s.check(ended < delay, f"it ended before the count could reach zero ({ended:.3f} s after it started)")
    # A pause that must pass: a target started on the way out would have marked by then.
    time.sleep(ACTION_SLACK + 1)
    s.check(read_mark(d) is None, "the target did not run")


def scenario_about_at_zero(s):
    """The about box does not pause the count: when the count ends behind it
    and closes the program, the program ends cleanly and the target runs."""
    # Long enough for the about box to open first on a busy machine.
    d, p = start_marked(s, 4, "A propos", record=False)
    w = p.wait_main_window()
    s.click(w, HOURGLASS)
    s.log("clicked the hourglass")
    p.wait("about box", lambda: p.window_named("About"), 3)
    status = p.wait_exit(8)
    s.check(status == 0, f"minutrex exits with status 0 with the about box open (got {status})")
    s.check(wait_mark(d) is not None, "the target ran")


def scenario_idle_inhibit(s):
    """A 5-second count holds off idle suspend while it runs, and only then."""
    s.start_servers(record=False)
    bus = s.start_desktop_services()
    d = s.fresh_dir()
    write_mark_script(d)
    with open(os.path.join(d, "Minutrex.ini"), "wb") as f:
        f.write(settings_bytes(settings_lines(0, 0, 5, "Marque", "mark.sh", d + "/", "Veille",
                                              options=(0, 0, 1, 0))))
    p = s.start_program(os.path.join(d, "minutrex"), d)
    w = p.wait_main_window()
    held = bus.wait_inhibitors(p, 1, "counting", 3)
    what, who, why, mode = held[0]
    s.log(f"inhibitor {held[0]}")
    s.check((what, who, mode) == ("sleep:idle", "Minutrex", "block") and "Marque" in why,
            f"one Minutrex inhibitor of sleep:idle, mode block, naming the action ({held[0]})")

    s.click(w, TIME_PANEL)
    clicked = time.monotonic()
    s.log("clicked the time")
    bus.wait_inhibitors(p, 0, "paused", 2)
    s.log("ok: none while paused")
    # Input pacing, not a wait for a result: two clicks closer than the
    # double-click interval would open the settings window.
    time.sleep(max(0.0, clicked + 0.8 - time.monotonic()))
    s.click(p.main_window(), TIME_PANEL)
    s.log("clicked the time again")
    bus.wait_inhibitors(p, 1, "resumed", 2)
    s.log("ok: one again after the resume")

    if wait_mark(d, 8) is None:
        raise Failure("the target did not run within 8 s of the resume")
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
    s.start_servers(record=False)
    bus = s.start_desktop_services()
    env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=s.session_bus)
    s.spawn("portal-mock", [sys.executable, "-m", "dbusmock", "--session", "org.freedesktop.portal.Desktop",
                            "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Inhibit"], env=env)
    deadline = time.monotonic() + 15
    while not bus.user.name_has_owner("org.freedesktop.portal.Desktop"):
        if time.monotonic() > deadline:
            raise Failure("the mock portal did not appear within 15 s")
        time.sleep(0.05)
    mock = "org.freedesktop.DBus.Mock"
    portal = bus.user.get_object("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop")
    portal.AddMethod("", "Inhibit", "sua{sv}", "o", PORTAL_INHIBIT, dbus_interface=mock)

    def inhibit_calls():
        return [args for _, method, args in portal.GetCalls(dbus_interface=mock) if method == "Inhibit"]

    def closed(number):
        request = bus.user.get_object("org.freedesktop.portal.Desktop",
                                      f"/org/freedesktop/portal/desktop/request/minutrex/{number}")
        return any(method == "Close" for _, method, _ in request.GetCalls(dbus_interface=mock))

    d = s.fresh_dir(settings_lines(0, 0, 30, "Portail", "", "", "Portail", options=(0, 0, 1, 1)))
    p = s.start_program(os.path.join(d, "minutrex"), d)
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
    time.sleep(max(0.0, clicked + 0.8 - time.monotonic()))  # no double-click
    s.click(p.main_window(), TIME_PANEL)
    p.wait("a second Inhibit on resume", lambda: len(inhibit_calls()) == 2, 2)
    s.check(not closed(2) and bus.inhibitors() == [], "resumed: held again through the portal")
    s.click(p.main_window(), BUTTON_ANNULATION)
    s.check(p.wait_exit(3) == 0, "ANNULATION ends it")


def scenario_end_notices(s):
    """One notification at the end of each count: the target started, the
    action disabled, the target missing."""
    s.start_servers(record=False)
    bus = s.start_desktop_services()

    def run(action, target, options):
        d = s.fresh_dir()
        write_mark_script(d)
        with open(os.path.join(d, "Minutrex.ini"), "wb") as f:
            f.write(settings_bytes(settings_lines(0, 0, 2, action, target, d + "/", "Avis", options=options)))
        return d, s.start_program(os.path.join(d, "minutrex"), d)

    def check_notice(notice, action):
        s.check(notice["app_name"] == "Minutrex" and notice["summary"] == "Minutrex",
                f"from Minutrex, summary Minutrex ({notice['app_name']!r}, {notice['summary']!r})")
        s.check(action in notice["body"], f"the body names the action {action!r} ({notice['body']!r})")
        image = notice["hints"].get("image-data")
        s.check(image is not None and image[0] > 0 and len(image[6]) == image[2] * image[1],
                "with the program's icon")
        entry = notice["hints"].get("desktop-entry")
        s.check(entry == "org.example.minutrex", f"naming the installed desktop entry ({entry!r})")

    # The target starts and the program closes.
    d, p = run("Marque", "mark.sh", (0, 0, 1, 1))
    s.check(p.wait_exit(8) == 0, "exit 0 after the action")
    s.check(wait_mark(d) is not None, "the target ran")
    started = bus.wait_notifications(1, "target started", 2)
    s.check(len(started) == 1, f"exactly one notification ({len(started)})")
    check_notice(started[0], "Marque")

    # The action is disabled.
    d, p = run("Arrêt", "mark.sh", (0, 0, 0, 1))
    s.check(p.wait_exit(8) == 0, "exit 0 at the end")
    s.check(read_mark(d) is None, "the target did not run")
    disabled = bus.wait_notifications(2, "action disabled", 2)
    s.check(len(disabled) == 2, f"exactly one more notification ({len(disabled)})")
    check_notice(disabled[1], "Arrêt")

    # The target is missing: the program stays open behind the launcher's
    # message, and the notice does not wait for anyone to read it.
    d, p = run("Absente", "absent.sh", (0, 0, 1, 1))
    box = p.wait("'Minutrex - Action' message", lambda: p.window_named("Minutrex - Action"), 6)
    # The box appears at zero or later: a notice due within a second of zero
    # is due within a second of this sighting.
    failed = bus.wait_notifications(3, "target missing, message still on screen", 1.0)
    s.check(p.window_named("Minutrex - Action") is not None, "the notice came while the message was on screen")
    dismiss_message(s, p, box)
    check_notice(failed[2], "Absente")
    s.check(len({n["body"] for n in failed}) == 3, "three different bodies for three different ends")
    s.check(not started[0]["actions"] and "default" in failed[2]["actions"],
            "activation offered only when the program stays open")

    # Activating it brings the window forward: another program's window,
    # mapped over it, covers the time panel until then.
    main = p.main_window()
    env = dict(os.environ, DISPLAY=s.display)
    s.spawn("xclock", ["xclock", "-geometry", f"{main.w}x{main.h}+{main.x}+{main.y}"], env=env)

    def covered():
        return read_display(s.screenshot("covered", replace=True), main)[0] != "00:00:00"
    p.wait("another program's window over the time", covered, 5)
    server = bus.user.get_object("org.freedesktop.Notifications", "/org/freedesktop/Notifications")
    notice_id = bus.dbus.UInt32(len(failed))  # the mock numbers its notifications from 1
    server.EmitSignal("org.freedesktop.Notifications", "ActionInvoked", "us", [notice_id, "default"],
                      dbus_interface="org.freedesktop.DBus.Mock")
    p.wait("the main window in front again", lambda: not covered(), 3)
    s.log("ok: activating the notification brought the window forward")
    s.click(p.main_window(), BUTTON_ANNULATION)
    s.check(p.wait_exit(3) == 0, "ANNULATION ends it")
    s.check(len(bus.notifications()) == 3, "exactly one notification for the missing target")


def start_notified(s, capabilities, action):
    """A copy on private desktop services whose notification server has the
    capabilities given, ending a one-second count by starting its target."""
    bus = s.start_desktop_services(capabilities)
    d = s.fresh_dir()
    write_mark_script(d)
    with open(os.path.join(d, "Minutrex.ini"), "wb") as f:
        f.write(settings_bytes(settings_lines(0, 0, 1, action, "mark.sh", d + "/", "Avis")))
    return bus, s.start_program(os.path.join(d, "minutrex"), d)


def scenario_notice_markup(s):
    """An action named with markup characters reads as typed in the notice,
    whether the notification server reads markup or plain text."""
    import html
    s.start_servers(record=False)
    name = "A & <b>B</b>"
    for capabilities, markup in (("body body-markup", True), ("body", False)):
        bus, p = start_notified(s, capabilities, name)
        s.check(p.wait_exit(10) == 0, f"{capabilities}: exit 0 after the action")
        body = bus.wait_notifications(1, f"{capabilities}: the end notice", 3)[0]["body"]
        s.log(f"{capabilities}: body {body!r}")
        if markup:
            # What the server shows is the body with its markup read.
            s.check("<b>" not in body and html.unescape(body).count(f"« {name} »") == 1,
                    f"a server reading markup shows « {name} » as typed ({body!r})")
        else:
            s.check(f"« {name} »" in body, f"a server reading plain text gets « {name} » as typed ({body!r})")


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
    viewer = os.path.join(d, "viewer.sh")
    with open(viewer, "w") as f:
        f.write(SLOW_VIEWER)
    os.chmod(viewer, 0o755)
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

    def start(delay):
        with open(os.path.join(d, "Minutrex.ini"), "wb") as f:
            f.write(settings_bytes(settings_lines(0, 0, delay, "Image", "picture.png", d + "/", "Lente")))
        if os.path.exists(os.path.join(d, "viewer")):
            os.remove(os.path.join(d, "viewer"))
        p = s.start_program(os.path.join(d, "minutrex"), d, home=home, extra_env=given)
        return p, p.wait_main_window(15)

    def check_viewer(p):
        sid, env = poll("the viewer's record", lambda: read_viewer(d), 10)
        s.check(sid != os.getsid(p.pid), f"the viewer runs in a session of its own ({sid}, {os.getsid(p.pid)})")
        # What any shell sets for itself does not count.
        added = sorted(set(env) - set(p.env) - {"PWD", "OLDPWD", "SHLVL", "_"})
        s.check(not added, f"the viewer gets no variable the timer added for itself ({added})")
        for name in ("WAYLAND_DISPLAY", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "DBUS_SYSTEM_BUS_ADDRESS"):
            s.check(env.get(name) == p.env.get(name), f"the viewer gets {name} as the timer was given it")

    def quit_a_second_later(p, since, pings):
        time.sleep(max(0.0, since + 1.0 - time.monotonic()))  # the moment the user clicks: must last
        s.check(p.running() and p.main_window() is not None, "still open while the opener waits")
        longest = pings.stop()
        s.check(longest < 1.0, f"the window never stopped answering for a second ({longest * 1000:.0f} ms)")
        clicked = time.monotonic()
        s.click(p.main_window(), BUTTON_ANNULATION)
        status = p.wait_exit(max(0.0, clicked + 1.0 - time.monotonic()))
        s.log(f"ended {time.monotonic() - clicked:.3f} s after the click on ANNULATION began")
        s.check(status == 0, f"ANNULATION ends it with status 0 ({status})")

    # At zero.
    p, w = start(2)
    pings = Responsiveness(s, w)
    p.wait_title(lambda t: t == "00:00:00  Minutrex", "zero", 10)
    zero = time.monotonic()
    check_viewer(p)
    quit_a_second_later(p, zero, pings)

    # "EXECUTER".
    p, w = start(60)
    pings = Responsiveness(s, w)
    s.click(w, BUTTON_EXECUTER)
    clicked = time.monotonic()
    check_viewer(p)
    quit_a_second_later(p, clicked, pings)

    # "Simulation" in the settings window, then "Annulation" there.
    p, w = start(60)
    dialog = open_settings(s, p)
    pings = Responsiveness(s, dialog)
    s.click(dialog, DIALOG_BUTTONS["Simulation"])
    clicked = time.monotonic()
    check_viewer(p)
    time.sleep(max(0.0, clicked + 1.0 - time.monotonic()))  # the moment the user clicks: must last
    longest = pings.stop()
    s.check(longest < 1.0, f"the settings window never stopped answering for a second ({longest * 1000:.0f} ms)")
    s.click(dialog, DIALOG_ANNULATION)
    p.wait("the main window back after Annulation", p.main_window, 1.0)
    s.stop(p.proc)

def scenario_wedged_buses(s):
    """A message bus that takes connections and never answers (its daemon
    stopped), as the system bus, as the session bus, then both: the window
    comes within 3 s and the target runs on time all the same."""
    s.start_servers(record=False)
    stopped = {}
    for label in ("system", "session"):
        address = s.start_bus(f"stopped-{label}")
        proc = s.procs[-1][1]
        os.kill(proc.pid, signal.SIGSTOP)
        stopped[label] = (address, proc)
    try:
        for which in (("system",), ("session",), ("system", "session")):
            env = {f"DBUS_{label.upper()}_BUS_ADDRESS": stopped[label][0] for label in which}
            d = s.fresh_dir()
            write_mark_script(d)
            with open(os.path.join(d, "Minutrex.ini"), "wb") as f:
                f.write(settings_bytes(settings_lines(0, 0, 3, "Marque", "mark.sh", d + "/", " et ".join(which))))
            p = s.start_program(os.path.join(d, "minutrex"), d, extra_env=env)
            p.wait_main_window(3)
            s.log(f"{' and '.join(which)} bus stopped: window within 3 s")
            ran = wait_mark(d, 10)
            s.check(ran is not None, "the target ran")
            late = ran - p.start_wall - 3
            s.check(0 <= late <= 1.0, f"{' and '.join(which)} bus stopped: the target ran "
                    f"{late:.3f} s after its time (at most 1 s)")
            s.check(p.wait_exit(5) == 0, "exit 0 after the action")
    finally:
        for _, proc in stopped.values():
            os.kill(proc.pid, signal.SIGCONT)


def scenario_wedged_sound(s):
    """A sound server that takes connections and never answers (stopped): the
    window comes, counts, beeps into nothing and acts on time all the same,
    and ends cleanly."""
    s.start_servers(record=False)
    pulse = next(proc for label, proc in s.procs if label == "pulseaudio")
    os.kill(pulse.pid, signal.SIGSTOP)
    try:
        d = s.fresh_dir()
        write_mark_script(d)
        with open(os.path.join(d, "Minutrex.ini"), "wb") as f:
            f.write(settings_bytes(settings_lines(0, 0, 3, "Marque", "mark.sh", d + "/", "Sans son")))
        p = s.start_program(os.path.join(d, "minutrex"), d)
        w = p.wait_main_window(3)
        pings = Responsiveness(s, w)
        ran = wait_mark(d, 10)
        # Stopped before the window goes at the end of the count.
        longest = pings.stop()
        s.check(ran is not None, "the target ran")
        late = ran - p.start_wall - 3
        s.check(0 <= late <= 1.0, f"the target ran {late:.3f} s after its time (at most 1 s)")
        s.check(longest < 1.0, f"the window never stopped answering for a second ({longest * 1000:.0f} ms)")
        s.check(p.wait_exit(5) == 0, "exit 0 after the action, the sound server still stopped")
    finally:
        os.kill(pulse.pid, signal.SIGCONT)


# ---------------------------------------------------------------------------
# Keyboard, dark desktops, high-density screens, screen readers and Wayland


def steady_title(p, hold, timeout):
    """The main window's title once it has not changed for `hold` seconds."""
    deadline = time.monotonic() + timeout
    title, since = None, time.monotonic()
    while True:
        w = p.main_window()
        now = time.monotonic()
        if w is None or w.name != title:
            title, since = (w.name if w else None), now
        elif now - since >= hold:
            return title
        if now > deadline:
            raise Failure(f"the title never stood still for {hold} s (last {title!r})")
        time.sleep(0.05)


def file_state(path):
    with open(path, "rb") as f:
        data = f.read()
    st = os.stat(path)
    return data, st.st_mtime_ns, st.st_ino


def scenario_keyboard(s):
    d, p = start_first_run_counting(s)
    ini = os.path.join(d, "Minutrex.ini")
    s.key(p.main_window(), "p")
    # A tick already under way may still move it once.
    paused = steady_title(p, 1.2, 3)
    s.check(title_seconds(paused) is not None, f"P pauses: the title stands still at {paused!r}")
    s.key(p.main_window(), "Pause")
    p.wait_title(lambda t: t != paused, "the count to go on after the Pause key", 1.5)
    s.log("the Pause key resumes")

    before = file_state(ini)
    s.key(p.main_window(), "F2")
    dialog = p.wait("settings window after F2", lambda: p.window_of_size(DIALOG_SIZE), 3)
    s.check(p.main_window() is None, "F2 opens the settings in place of the main window")
    s.key(dialog, "Escape")
    p.wait_main_window(3)
    s.check(p.window_of_size(DIALOG_SIZE) is None and file_state(ini) == before,
            "Escape closes the settings without writing")

    s.key(p.main_window(), "Return")
    dialog = p.wait("settings window after Return", lambda: p.window_of_size(DIALOG_SIZE), 3)
    set_delay(s, dialog, "000020")
    s.key(dialog, "Return")
    p.wait_title(lambda t: t in ("00:00:19  Minutrex", "00:00:18  Minutrex"), "the count restarted from 20 s", 3)
    with open(ini, "rb") as f:
        s.check(f.read().split(b"\r\n")[1:4] == [b" 0 ", b" 0 ", b" 20 "], "Return confirmed the new delay")

    s.key(p.main_window(), "F1")
    box = p.wait("about box after F1", lambda: p.window_named("About"), 3)
    s.key(box, "Return")
    p.wait("the about box to close", lambda: p.window_named("About") is None, 3)
    s.check(p.running(), "still running")


def relative_luminance(rgb):
    def channel(c):
        c /= 255
        return c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (channel(c) for c in rgb)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast_ratio(a, b):
    la, lb = sorted((relative_luminance(a), relative_luminance(b)), reverse=True)
    return (la + 0.05) / (lb + 0.05)


def text_contrast(img, win, box):
    """The text's contrast with its background inside `box`: the background is
    the commonest colour, the text the colour that stands out most from it."""
    x0, y0, w, h = box
    pixels = [img.pixel(win.x + x, win.y + y) for y in range(y0, y0 + h) for x in range(x0, x0 + w)]
    background = collections.Counter(pixels).most_common(1)[0][0]
    text = max(pixels, key=lambda c: contrast_ratio(c, background))
    return contrast_ratio(text, background), text, background


# Text elements as boxes in the windows (inside borders, beside check marks).
MAIN_TEXTS = {
    "LabelTitre": (80, 24, 105, 17), "CountAction": (56, 43, 161, 25), "CountPause": (72, 67, 97, 17),
    "CountObs": (23, 144, 188, 30), "BoutonNon": (23, 179, 83, 19), "BoutonOk": (126, 179, 83, 19),
}
DIALOG_TEXTS = {
    "PARAMETRAGES": (88, 8, 143, 25), "Label9": (24, 64, 137, 17), "ParamTime": (51, 83, 52, 19),
    "Label2": (40, 160, 137, 17), "ParamActNom": (43, 179, 131, 19), "Label11": (40, 216, 233, 17),
    "ParamParc": (43, 235, 75, 19), "Label10": (40, 272, 137, 17), "ParamAppNom": (43, 291, 235, 19),
    "Label4": (40, 320, 241, 17), "ParamAppDir": (43, 340, 235, 19), "Label5": (40, 416, 241, 17),
    "ParamObs": (43, 435, 235, 35), "ParamBoxBipDem": (62, 524, 200, 17), "ParamBoxBips": (62, 548, 200, 17),
    "ParamBoxExec": (62, 572, 200, 17), "ParamBoxFerm": (62, 596, 200, 17), "ParamAnnul": (19, 643, 75, 19),
    "ParamSimul": (123, 643, 75, 19), "ParamOK": (227, 643, 75, 19),
}
# The frames' teal captions on grey stand at 2.6:1 in the design itself: they
# must keep that teal, whatever the desktop's palette.
FRAME_CAPTIONS = {"DECOMPTEUR": (18, 40, 70, 11), "ACTION": (18, 136, 40, 11),
                  "COMMENTAIRES": (18, 392, 80, 11), "OPTIONS": (18, 504, 50, 11)}
TEAL = (0, 128, 128)
# A desktop with a dark palette: Qt takes its colours from the GTK theme.
DARK_DESKTOP = {"QT_QPA_PLATFORMTHEME": "gtk3", "GTK_THEME": "Adwaita:dark"}
# The settings window's text fields, and the top of each option's row in OPTIONS.
FIELDS = ("ParamTime", "ParamActNom", "ParamAppNom", "ParamAppDir", "ParamObs")
OPTION_ROWS = {"ParamBoxBipDem": 16, "ParamBoxBips": 40, "ParamBoxExec": 64, "ParamBoxFerm": 88}


def check_box_inside(img, win, row):
    """The fill of an option's box, and how many pixels inside it stand out
    from that fill by at least 3:1 (the tick). The box is what is not the
    frame's grey left of the caption."""
    x0, y0 = 16 + 24, 504 + row
    drawn = [(x, y) for y in range(y0, y0 + 25) for x in range(x0, x0 + 18)
             if img.pixel(win.x + x, win.y + y) != FRAME_INSIDE]
    if not drawn:
        return None, 0
    left, right = min(x for x, _ in drawn), max(x for x, _ in drawn)
    top, bottom = min(y for _, y in drawn), max(y for _, y in drawn)
    # Clear of the box's edge, which may be a two-pixel bevel.
    inside = [img.pixel(win.x + x, win.y + y) for y in range(top + 2, bottom - 1) for x in range(left + 2, right - 1)]
    if not inside:
        return None, 0
    fill = collections.Counter(inside).most_common(1)[0][0]
    return fill, sum(1 for c in inside if contrast_ratio(c, fill) >= 3)


def scenario_dark_palette(s):
    s.start_servers(record=False)
    d = s.fresh_dir(settings_lines(0, 25, 0, "Pause thé", "rappel.ogg", "/home/claire/Musique/",
                                   "La bouilloire !", (1, 1, 1, 0)))
    p = s.start_program(os.path.join(d, "minutrex"), d, extra_env=DARK_DESKTOP)
    p.wait_title(lambda t: title_seconds(t) is not None, "first tick", 5)

    def measure(win, boxes, label):
        img = s.screenshot(label)
        for name, box in boxes.items():
            ratio, text, background = text_contrast(img, win, box)
            s.expect(ratio >= 4.5, f"{name}: text {text} on {background}, contrast {ratio:.1f}:1")
        return img

    measure(p.main_window(), MAIN_TEXTS, "dark-main")
    dialog = open_settings(s, p)
    img = measure(dialog, DIALOG_TEXTS, "dark-settings")
    for name, box in FRAME_CAPTIONS.items():
        ratio, text, background = text_contrast(img, dialog, box)
        s.expect(text == TEAL, f"frame caption {name} keeps its teal (got {text} on {background})")

    # Options 1 to 3 are ticked, the fourth is not: a tick must show on the box.
    fills = set()
    for (name, row), ticked in zip(OPTION_ROWS.items(), (True, True, True, False)):
        fill, marked = check_box_inside(img, dialog, row)
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
    s.start_servers(record=False)
    d = s.fresh_dir()
    p = s.start_program(os.path.join(d, "minutrex"), d, extra_env={"QT_SCALE_FACTOR": "2"})
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
    def button_rows():
        img = s.screenshot("scale-two-settings", replace=True)
        rows = 0
        for y in range(dialog.y, dialog.y + dialog.h):
            faces = [img.pixel(dialog.x + 2 * x, y) for x in (DIALOG_ANNULATION[0] + 40, DIALOG_OK[0] + 40)]
            gap = img.pixel(dialog.x + 2 * 108, y)
            rows += all(min(c) >= 208 for c in faces) and gap == (192, 192, 192)
        return rows if rows >= 40 else None
    s.screenshot("scale-two-settings")
    rows = p.wait("Annulation and OK to show", button_rows, 3, interval=0.2)
    s.log(f"ok: Annulation and OK show, {rows} pixel rows tall, inside the window")
    before = file_state(os.path.join(d, "Minutrex.ini"))
    s.key(dialog, "Return")
    p.wait("main window back after Return", lambda: p.window_of_size(main_size), 3)
    s.check(file_state(os.path.join(d, "Minutrex.ini")) != before, "Return confirmed and wrote the settings")


ATSPI_PROBE = r'''
import json, sys
import pyatspi

def describe(acc):
    states = acc.getState()
    try:
        e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        extents = [e.x, e.y, e.width, e.height]
    except NotImplementedError:
        extents = None
    try:
        value = acc.queryValue().currentValue
    except NotImplementedError:
        value = None
    return {"name": acc.name, "role": acc.getRoleName(), "showing": states.contains(pyatspi.STATE_SHOWING),
            "label_for": any(r.getRelationType() == pyatspi.RELATION_LABEL_FOR for r in acc.getRelationSet()),
            "extents": extents, "value": value, "description": acc.description}

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
        self.s = s
        base = os.path.join(s.root, "a11y")
        os.makedirs(base, mode=0o700)
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": base, "XDG_RUNTIME_DIR": base,
               "DISPLAY": s.display}
        read_end, write_end = os.pipe()
        s.spawn("dbus", ["dbus-daemon", "--session", "--nofork", f"--print-address={write_end}"],
                pass_fds=(write_end,), env=env)
        os.close(write_end)
        address = b""
        while not address.endswith(b"\n"):
            ready, _, _ = select.select([read_end], [], [], 10)
            chunk = os.read(read_end, 4096) if ready else b""
            if not chunk:
                raise Failure("the session bus did not report its address")
            address += chunk
        os.close(read_end)
        env["DBUS_SESSION_BUS_ADDRESS"] = address.decode().strip()
        self.env = {"DBUS_SESSION_BUS_ADDRESS": env["DBUS_SESSION_BUS_ADDRESS"]}
        s.spawn("at-spi-bus", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], env=env)
        deadline = time.monotonic() + 10
        while subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                              "org.freedesktop.DBus.Properties.Set", "string:org.a11y.Status",
                              "string:IsEnabled", "variant:boolean:true"], env=env, capture_output=True).returncode:
            if time.monotonic() > deadline:
                raise Failure("the accessibility bus did not start")
            time.sleep(0.05)
        self.reader = subprocess.Popen(["/usr/bin/python3", "-c", ATSPI_PROBE], env=env, stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                       preexec_fn=_die_with_parent)
        s.procs.append(("atspi-reader", self.reader))
        s.log("accessibility bus on")

    def windows(self):
        self.reader.stdin.write("list\n")
        self.reader.stdin.flush()
        line = self.reader.stdout.readline()
        if not line:
            raise Failure("the accessibility reader ended")
        return json.loads(line)

    def wait_objects(self, window_name, predicate, timeout=5):
        deadline = time.monotonic() + timeout
        while True:
            objects = self.windows().get(window_name, [])
            if predicate(objects):
                return objects
            if time.monotonic() > deadline:
                raise Failure(f"window {window_name!r} never showed what was expected: {objects}")
            time.sleep(0.1)


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
    s.start_servers(record=False)
    bus = AccessibilityBus(s)
    # A folder for the file dialog: a sub-folder and a file of 1.5 KiB from a known minute.
    music = os.path.join(s.root, "Musique")
    os.makedirs(os.path.join(music, "Anciens"))
    with open(os.path.join(music, "rappel.ogg"), "wb") as f:
        f.write(b"\0" * 1536)
    os.utime(os.path.join(music, "rappel.ogg"), (1709647620, 1709647620))  # 2024-03-05 14:07 UTC
    d = s.fresh_dir(settings_lines(0, 25, 0, "Pause thé", "rappel.ogg", music + "/",
                                   "La bouilloire !", (1, 1, 1, 0)))
    p = s.start_program(os.path.join(d, "minutrex"), d, extra_env=dict(bus.env, TZ="UTC"))
    p.wait_title(lambda t: title_seconds(t) is not None, "first tick", 5)

    def time_panel(objects):
        return next((o for o in objects if o["description"] == "CLic : Pause - DoubleClick : Réglages paramétres"),
                    None)

    # Read between two looks at the title: both the same, so the reading
    # belongs to that tick.
    matched = []
    deadline = time.monotonic() + 6
    while len(matched) < 3:
        before = p.main_window().name
        panel = time_panel(bus.windows().get(before, []))
        after = p.main_window().name
        if before == after and panel is not None:
            if panel["name"] != before[:8] or panel["value"] != title_seconds(before):
                raise Failure(f"the time panel reads {panel['name']!r} (value {panel['value']}) "
                              f"while the title is {before!r}")
            if before not in matched:
                s.log(f"ok: the time panel reads {panel['name']!r}, value {panel['value']}, with the title {before!r}")
                matched.append(before)
        if time.monotonic() > deadline:
            raise Failure(f"only {len(matched)} ticks read in 6 s")
    main_title = p.main_window().name
    check_distinct_names(s, "the main window", bus.windows()[main_title])

    dialog = open_settings(s, p)
    objects = bus.wait_objects(dialog.name, lambda objs: any(o["showing"] for o in objs))
    check_distinct_names(s, "the settings window", objects)
    # Behind the settings the count is paused, and the panel says so.
    windows = bus.windows()
    title = next(name for name in windows if title_seconds(name) is not None)
    panel = time_panel(windows[title])
    s.check(panel["name"] == title[:8] + " EN PAUSE", f"the paused panel reads {panel['name']!r} ({title!r})")

    # The toolkit's file dialog speaks the program's language, under the C locale too.
    s.click(dialog, DIALOG_BUTTONS["Parcourir"])
    french = ("Dossier", "05/03/2024 14:07", "1,50 Kio")
    objects = bus.wait_objects("Choisissez un fichier ...",
                               lambda objs: all(any(o["name"] == text for o in objs) for text in french), timeout=8)
    s.log(f"ok: the file dialog lists a folder as {french[0]!r}, a file's date as {french[1]!r} "
          f"and its size as {french[2]!r}")
    box = p.wait("file dialog", lambda: p.window_named("Choisissez un fichier ..."), 3)
    s.key(box, "Escape")
    p.wait("the file dialog to close", lambda: p.window_named("Choisissez un fichier ...") is None, 3)


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
    s.start_servers(record=False)
    bus = AccessibilityBus(s)
    address = bus.env["DBUS_SESSION_BUS_ADDRESS"]
    s.spawn("notification-mock", [sys.executable, "-m", "dbusmock", "--session", "--template",
                                  "notification_daemon"], env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address))
    import dbus
    notifications = dbus.bus.BusConnection(address)
    poll("the notification server", lambda: notifications.name_has_owner("org.freedesktop.Notifications"), 15)
    server = notifications.get_object("org.freedesktop.Notifications", "/org/freedesktop/Notifications")

    def notice_bodies():
        calls = server.GetCalls(dbus_interface="org.freedesktop.DBus.Mock")
        return [str(args[4]) for _, method, args in calls if method == "Notify"]

    def names(window_title=None):
        found = bus.windows()
        return {o["name"] for title, objects in found.items() if window_title in (None, title) for o in objects}

    shown = {}
    for language, texts in LANGUAGES.items():
        env = dict(bus.env, LANG=language)
        r = run_quiet(s, s.args.binary, "--help", timeout=10,
                      env={"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LANG": language})
        s.check(r.returncode == 0 and r.stdout.splitlines()[0] == texts["help"],
                f"{language}: --help begins {texts['help']!r} ({r.stdout.splitlines()[:1]})")

        # A first run: its file, the main window, the settings, a message.
        d = s.fresh_dir()
        p = s.start_program(os.path.join(d, "minutrex"), d, extra_env=env)
        p.wait_main_window()
        with open(os.path.join(d, "Minutrex.ini"), "rb") as f:
            s.check(f.read() == settings_bytes(FIRST_RUN_LINES), f"{language}: the first-run file as ever")
        p.wait("the main window read out", lambda: {texts["quit"], texts["run"], texts["no action"]} <= names(), 10)
        main = names()
        s.log(f"ok: {language}: the main window reads {texts['quit']!r}, {texts['run']!r}, {texts['no action']!r}")
        dialog = open_settings(s, p)
        p.wait("the settings window read out", lambda: {texts["cancel"], texts["try"]} <= names(dialog.name), 10)
        s.log(f"ok: {language}: the settings window reads {texts['cancel']!r} and {texts['try']!r}")
        shown[language] = (main, names(dialog.name))
        s.key(dialog, "Escape")
        w = p.wait("the main window back", p.main_window, 5)
        s.click(w, BUTTON_EXECUTER)
        box = p.wait("the message box", lambda: p.window_named("Minutrex - Action"), 5)
        p.wait("the message read out", lambda: any(texts["no target"] in n for n in names(box.name)), 10)
        s.log(f"ok: {language}: the message reads {texts['no target']!r}")
        s.stop(p.proc)

        # The end notice of a count whose target is missing.
        before = len(notice_bodies())
        d = s.fresh_dir(settings_lines(0, 0, 1, "Essai", "absent.sh", "", "Langue"))
        p = s.start_program(os.path.join(d, "minutrex"), d, extra_env=env)
        bodies = poll("the end notice", lambda: notice_bodies()[before:], 15)
        s.check(bodies == [texts["notice"]], f"{language}: the notice reads {texts['notice']!r} ({bodies})")
        s.stop(p.proc)
    # The French of a French locale is the French of the C locale, to the letter.
    fr, c = shown["fr_FR.UTF-8"], shown["C"]
    strip = lambda found: {n for n in found if title_seconds(n) is None and not re.match(r"^\d\d:\d\d:\d\d", n)}
    s.check(strip(fr[0]) == strip(c[0]) and strip(fr[1]) == strip(c[1]),
            f"fr_FR and C read the same ({sorted(strip(fr[0]) ^ strip(c[0]))}, {sorted(strip(fr[1]) ^ strip(c[1]))})")


def scenario_wayland(s):
    """Under a Wayland compositor with no X server at all."""
    runtime = os.path.join(s.root, "wayland")
    os.makedirs(runtime, mode=0o700)
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": runtime, "XDG_RUNTIME_DIR": runtime}
    s.spawn("weston", ["weston", "--backend=headless-backend.so", "--socket=minutrex-e2e", "--idle-time=0"],
            env=env)
    deadline = time.monotonic() + 15
    while not os.path.exists(os.path.join(runtime, "minutrex-e2e")):
        if time.monotonic() > deadline:
            raise Failure("weston did not open its socket within 15 s")
        time.sleep(0.05)
    s.log("weston running, headless")
    d = s.fresh_dir()
    write_mark_script(d)
    with open(os.path.join(d, "Minutrex.ini"), "wb") as f:
        f.write(settings_bytes(settings_lines(0, 0, 3, "Marque", "mark.sh", d + "/", "Wayland")))
    p = Program(s, [os.path.join(d, "minutrex")], d, dict(env, WAYLAND_DISPLAY="minutrex-e2e", LANG="C.UTF-8"))
    try:
        status = p.proc.wait(10)
    except subprocess.TimeoutExpired:
        raise Failure("minutrex still running 10 s after the start of a 3-second count")
    s.check(status == 0, f"minutrex exits with status 0 after the action (got {status})")
    ran = wait_mark(d)
    s.check(ran is not None and ran - p.start_wall >= 3.0,
            f"the target ran once the 3 s had passed ({None if ran is None else round(ran - p.start_wall, 3)} s)")


def xprop(s, window, *names):
    """The named properties of a window (the root when None), as their text after '='."""
    where = ("-root",) if window is None else ("-id", window)
    out = s.tool("xprop", *where, *names, check=False).stdout.decode(errors="replace")
    return {m.group(1): m.group(2).strip() for m in re.finditer(r"^(\w+)\([^)]*\)(?::| =)\s*(.*)$", out, re.M)}


def window_ids(text):
    return {int(x, 16) for x in re.findall(r"0x[0-9a-f]+", text or "")}


def scenario_window_manager(s):
    """Under a plain window manager: the windows' class names the desktop
    entry, and a settings window minimised in spite of its hints leaves the
    program within the user's reach."""
    s.start_servers(record=False)
    home = os.path.join(s.root, "openbox")
    os.makedirs(home)
    s.spawn("openbox", ["openbox", "--sm-disable"], env={"PATH": os.environ.get("PATH", "/usr/bin:/bin"),
                                                         "HOME": home, "DISPLAY": s.display})
    poll("openbox to manage the screen", lambda: xprop(s, None, "_NET_SUPPORTING_WM_CHECK").get(
        "_NET_SUPPORTING_WM_CHECK", "").startswith("window id"), 15, 0.05)
    s.log("openbox running")
    d = s.fresh_dir(settings_lines(0, 25, 0, "Thé", "", "", "Sous openbox"))
    p = s.start_program(os.path.join(d, "minutrex"), d)
    w = p.wait_main_window()

    entry_path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data", APP_ID + ".desktop")
    with open(entry_path, encoding="utf-8") as f:
        entry = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line and not line.startswith("#"))
    wm_class = re.findall(r'"([^"]*)"', xprop(s, w.id, "WM_CLASS").get("WM_CLASS", ""))
    # Docks match the entry's StartupWMClass, or its name, against the class.
    s.check(len(wm_class) == 2 and wm_class[1] in (entry.get("StartupWMClass"), APP_ID),
            f"the main window's class {wm_class} is the desktop entry's {entry.get('StartupWMClass')!r}")

    s.key(w, "F2")
    dialog = p.wait("settings window", lambda: p.window_of_size(DIALOG_SIZE), 5)
    s.check(re.findall(r'"([^"]*)"', xprop(s, dialog.id, "WM_CLASS").get("WM_CLASS", "")) == wm_class,
            "the settings window has the same class")
    allowed = xprop(s, dialog.id, "_NET_WM_ALLOWED_ACTIONS").get("_NET_WM_ALLOWED_ACTIONS", "")
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
        listed = window_ids(xprop(s, None, "_NET_CLIENT_LIST").get("_NET_CLIENT_LIST"))
        for wid in s.tool("xdotool", "search", "--pid", str(p.pid), check=False).stdout.split():
            state = xprop(s, wid.decode(), "_NET_WM_STATE", "WM_NAME")
            if int(wid) != int(dialog.id) and int(wid) in listed and "SKIP_TASKBAR" not in state.get("_NET_WM_STATE", ""):
                return f"window {int(wid)} {state.get('WM_NAME')} in the desktop's list of windows"
        return None
    # Seen minimised, unless it came back before a look caught it: only then
    # does being on screen say anything.
    deadline = time.monotonic() + 2
    while time.monotonic() < deadline:
        if "HIDDEN" in xprop(s, dialog.id, "_NET_WM_STATE").get("_NET_WM_STATE", ""):
            s.log("the window manager minimised the settings window")
            break
        time.sleep(0.01)
    found = p.wait("window of the program within reach", reachable, 5)
    s.log(f"ok: the program stays within reach: {found}")
    # Whatever the way back, the settings still end as usual.
    back = p.wait("the settings window on screen", lambda: p.window_of_size(DIALOG_SIZE), 5)
    s.key(back, "Escape")
    w = p.wait_main_window(5)
    state = xprop(s, w.id, "_NET_WM_STATE").get("_NET_WM_STATE", "")
    s.check("HIDDEN" not in state, f"Annulation brings the main window back, not minimised ({state!r})")
    s.check(p.window_of_size(DIALOG_SIZE) is None, "and the settings window is gone")


def install(s, prefix):
    r = subprocess.run([s.args.cmake, "--install", s.args.build_dir, "--prefix", prefix],
                       capture_output=True, text=True, timeout=120)
    with open(os.path.join(s.root, "install.log"), "w") as f:
        f.write(r.stdout + r.stderr)
    s.keep.append(os.path.join(s.root, "install.log"))
    if r.returncode != 0:
        raise Failure(f"cmake --install failed: {r.stdout}{r.stderr}")
    s.log(f"installed into {prefix}")


def scenario_read_only_install(s):
    s.start_servers(record=False)
    prefix = os.path.join(s.root, "prefix")
    install(s, prefix)
    bindir = os.path.join(prefix, "bin")
    for dirpath, dirnames, filenames in os.walk(bindir):
        for name in filenames + dirnames:
            path = os.path.join(dirpath, name)
            os.chmod(path, os.stat(path).st_mode & ~0o222)
    os.chmod(bindir, os.stat(bindir).st_mode & ~0o222)

    # Permission bits do not stop root: run as nobody when we are root.
    user = NOBODY if os.geteuid() == 0 else None
    uid = user if user is not None else os.geteuid()
    home = os.path.join(s.root, "home")
    target = os.path.join(home, "target")
    os.makedirs(target)
    write_mark_script(target)
    for dirpath, dirnames, filenames in os.walk(home):
        for name in [dirpath] + [os.path.join(dirpath, n) for n in filenames]:
            os.chown(name, uid, uid)
    os.makedirs(os.path.join(home, "runtime"), mode=0o700)
    os.chown(os.path.join(home, "runtime"), uid, uid)
    config = os.path.join(home, "config", "Minutrex", "Minutrex.ini")
    s.keep.append(config)
    exe = os.path.join(bindir, "minutrex")
    s.check(os.stat(bindir).st_mode & 0o222 == 0 and os.stat(exe).st_mode & 0o222 == 0,
            "the bin directory and the program are read-only")

    p = s.start_program(exe, home, user=user, home=home)
    w = p.wait_main_window()
    s.check(w.name == FIRST_TITLE or title_seconds(w.name) is not None, f"it starts ({w.name!r})")
    s.check(os.path.isfile(config), f"settings stored in {config}")
    with open(config, "rb") as f:
        s.check(f.read() == settings_bytes(FIRST_RUN_LINES), "with the first-run lines")
    s.check(os.stat(config).st_uid == uid, "owned by the user who ran it")
    mode = os.stat(os.path.dirname(config)).st_mode & 0o777
    s.check(mode == 0o700, f"its directory has mode 0700 (got {mode:o})")
    s.check(not os.path.exists(os.path.join(bindir, "Minutrex.ini")), "nothing written beside the program")
    s.click(w, BUTTON_ANNULATION)
    s.check(p.wait_exit(3) == 0, "ANNULATION ends it")

    lines = settings_lines(0, 0, 3, "Marque", "mark.sh", target + "/", "Installé")
    with open(config, "wb") as f:
        f.write(settings_bytes(lines))
    p = s.start_program(exe, home, user=user, home=home)
    p.wait_main_window()
    status = p.wait_exit(10)
    s.check(status == 0, f"the 3-second count ends with status 0 (got {status})")
    s.check(wait_mark(target) is not None, "and its target ran")
    s.check(os.stat(os.path.join(target, "ran")).st_uid == uid, "as that user")
    with open(config, "rb") as f:
        s.check(f.read() == settings_bytes(lines), "the stored settings are left as they were")


def scenario_install(s):
    prefix = os.path.join(s.root, "prefix")
    install(s, prefix)
    exe = os.path.join(prefix, "bin", "minutrex")
    s.check(os.path.isfile(exe) and os.access(exe, os.X_OK), "bin/minutrex installed and executable")
    desktop = os.path.join(prefix, "share", "applications", APP_ID + ".desktop")
    metainfo = os.path.join(prefix, "share", "metainfo", APP_ID + ".metainfo.xml")
    for size in ICON_SIZES:
        icon = os.path.join(prefix, "share", "icons", "hicolor", f"{size}x{size}", "apps", "minutrex.png")
        s.check(os.path.isfile(icon) and png_size(icon) == (size, size), f"{size}x{size} icon installed")
    for path in (("icons", "hicolor", "scalable", "apps", "minutrex.svg"), ("man", "man1", "minutrex.1.gz")):
        s.check(os.path.isfile(os.path.join(prefix, "share", *path)), f"{'/'.join(path)} installed")
    s.check(os.path.isfile(desktop), "desktop entry installed")
    s.check(os.path.isfile(metainfo), "AppStream metadata installed")

    r = subprocess.run(["desktop-file-validate", desktop], capture_output=True, text=True)
    s.check(r.returncode == 0 and not (r.stdout + r.stderr).strip(),
            f"desktop-file-validate passes without a remark: {r.stdout}{r.stderr}")
    r = subprocess.run(["appstreamcli", "validate", "--no-net", metainfo], capture_output=True, text=True)
    s.check(r.returncode == 0, f"appstreamcli validate --no-net passes: {r.stdout}{r.stderr}")

    with open(desktop, encoding="utf-8") as f:
        entry = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
    for key, value in (("Name", "Minutrex"), ("Exec", "minutrex"), ("Icon", "minutrex"),
                       ("Categories", "Utility;Clock;"), ("Type", "Application")):
        s.check(entry.get(key) == value, f"desktop entry {key}={value} (got {entry.get(key)!r})")
    s.check(bool(entry.get("Comment")) and bool(entry.get("Comment[fr]")), "English and French comments")
    with open(metainfo, encoding="utf-8") as f:
        xml = f.read()
    s.check(f'<launchable type="desktop-id">{APP_ID}.desktop</launchable>' in xml,
            "the metadata names the desktop entry it describes")
    s.check("<binary>minutrex</binary>" in xml, "and the binary it provides")
    s.check(f'<release version="{s.args.program_version}"' in xml, "and the program's version")

    # What software centres are given: the description in English and in French.
    unit = os.path.join(s.root, "unit")
    os.makedirs(unit)
    os.symlink(prefix, os.path.join(unit, "usr"))
    composed = os.path.join(s.root, "composed")
    r = run_quiet(s, "appstreamcli", "compose", "--origin=minutrex", f"--result-root={composed}",
                  f"--data-dir={composed}/data", f"--icons-dir={composed}/icons", unit)
    s.check(r.returncode == 0, f"appstreamcli compose succeeds ({r.stdout}{r.stderr})")
    import gzip
    with gzip.open(os.path.join(composed, "data", "minutrex.xml.gz"), "rt", encoding="utf-8") as f:
        catalog = f.read()
    for element in ("name", "summary", "description"):
        s.check(f"<{element}>" in catalog and f'<{element} xml:lang="fr">' in catalog,
                f"the composed metadata keeps the {element} in English and in French")
    s.check(entry.get("Name[fr]") == "Minutrex" and bool(entry.get("GenericName[fr]")),
            "the desktop entry names the program in French too")


def run_quiet(s, *cmd, timeout=120, **kwargs):
    """Runs a tool to its end, keeping its output with the artefacts."""
    r = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, **kwargs)
    label = os.path.basename(cmd[0])
    with open(os.path.join(s.root, f"{label}.log"), "a") as f:
        f.write(f"$ {' '.join(cmd)}\n{r.stdout}{r.stderr}(status {r.returncode})\n")
    s.keep.append(os.path.join(s.root, f"{label}.log"))
    return r


def scenario_command_line(s):
    """The options answer on the terminal, without any display."""
    d = s.fresh_dir()
    exe = os.path.join(d, "minutrex")
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": os.path.join(s.root, "home"), "LANG": "C.UTF-8"}

    def run(*args):
        return run_quiet(s, exe, *args, timeout=10, cwd=d, env=env)

    r = run("--version")
    s.check(r.returncode == 0 and r.stdout == f"Minutrex {s.args.program_version}\n" and not r.stderr,
            f"--version prints the version and exits 0 ({r.returncode}, {r.stdout!r}, {r.stderr!r})")
    # Qt's own options are left to Qt, not refused as unknown.
    r = run("-style", "fusion", "--platform=offscreen", "--version")
    s.check(r.returncode == 0 and r.stdout == f"Minutrex {s.args.program_version}\n",
            f"Qt's own options pass through ({r.returncode}, {r.stdout!r}, {r.stderr!r})")
    r = run("--help")
    s.check(r.returncode == 0 and not r.stderr, f"--help exits 0 quietly ({r.returncode}, {r.stderr!r})")
    for option in ("--config FICHIER", "--help", "--version", "Minutrex.ini"):
        s.check(option in r.stdout, f"--help mentions {option}")
    for args, what in ((["--bogus"], "--bogus"), (["--config"], "--config"), (["--version", "extra"], "extra")):
        r = run(*args)
        lines = r.stderr.splitlines()
        s.check(r.returncode == 2 and not r.stdout and len(lines) == 1 and r.stderr.endswith("\n")
                and what in lines[0] and "Usage" in lines[0],
                f"{' '.join(args)}: status 2 and one line of usage on standard error "
                f"({r.returncode}, {r.stdout!r}, {r.stderr!r})")
    # No display to show the window on: one line that says so, status 1.
    for display in (None, ":65535"):
        r = run_quiet(s, exe, timeout=10, cwd=d, env=dict(env, **({"DISPLAY": display} if display else {})))
        lines = r.stderr.splitlines()
        s.check(r.returncode == 1 and not r.stdout and len(lines) == 1 and "DISPLAY" in lines[0],
                f"DISPLAY={display}: status 1 and one line on standard error ({r.returncode}, {r.stderr!r})")
    s.check(os.listdir(d) == ["minutrex"], f"no settings file written ({os.listdir(d)})")


def scenario_two_timers(s):
    """Two copies from one folder, each with its own settings file."""
    s.start_servers(record=False)
    d = s.fresh_dir()
    exe = os.path.join(d, "minutrex")
    a, b = os.path.join(d, "a.ini"), os.path.join(d, "b.ini")
    with open(a, "wb") as f:
        f.write(settings_bytes(settings_lines(0, 5, 0, "Thé", "", "", "Thé dans 5 minutes")))
    s.keep += [a, b]
    pa = s.start_program(exe, d, args=["--config", "a.ini"])
    wa = pa.wait_title(lambda t: title_seconds(t) in (298, 299), "00:04:59 from a.ini", 5)
    pb = s.start_program(exe, d, args=["--config", "b.ini"])
    wb = pb.wait_title(lambda t: title_seconds(t) in (28, 29), "00:00:29 from a new b.ini", 5)
    s.log(f"a: {wa}, b: {wb}")
    # Told apart by their files' names.
    s.check(TITLE_RE.match(wa.name).group(4) == "a" and TITLE_RE.match(wb.name).group(4) == "b",
            f"each title names its file ({wa.name!r}, {wb.name!r})")
    with open(b, "rb") as f:
        s.check(f.read() == settings_bytes(FIRST_RUN_LINES), "b.ini is created with the first-run lines")
    s.check(not os.path.exists(os.path.join(d, "Minutrex.ini")), "no Minutrex.ini beside the program")

    # Without a window manager both windows open at the same place.
    s.tool("xdotool", "windowmove", "--sync", wb.id, "600", "0")
    b_before = os.stat(b)
    dialog = open_settings(s, pa)
    set_delay(s, dialog, "001500")
    s.click(dialog, DIALOG_OK)
    s.log("clicked OK in a's settings")
    wa = pa.wait_title(lambda t: title_seconds(t) in (898, 899), "a restarting from 00:15:00", 5)
    with open(a, "rb") as f:
        lines = f.read().split(b"\r\n")
    s.check(lines[1:4] == [b" 0 ", b" 15 ", b" 0 "], f"a.ini holds the new delay ({lines[1:4]})")
    b_after = os.stat(b)
    s.check((b_after.st_mtime_ns, b_after.st_ino) == (b_before.st_mtime_ns, b_before.st_ino),
            "b.ini is untouched")
    left = title_seconds(pb.main_window().name)
    s.check(pb.running() and left is not None and left < 29, f"b goes on counting its own delay ({left} s left)")


ACTION_NAME_BOX = (16 + 24, 136 + 40, 137, 25)


def set_action_name(s, dialog, name):
    s.click(dialog, ACTION_NAME_BOX)
    s.tool("xdotool", "key", "ctrl+a")
    s.type_text(name)


def settings_line(path, index):
    with open(path, "rb") as f:
        return f.read().split(b"\r\n")[index].decode("cp1252")


def confirm_settings(s, p, dialog):
    s.click(dialog, DIALOG_OK)
    p.wait("the main window back after OK", p.main_window, 5)


def scenario_shared_settings(s):
    """Two copies on one settings file: a save of one is never undone unasked
    by the other. Values longer than a text box's usual limit come back whole."""
    s.start_servers(record=False)
    d = s.fresh_dir()
    exe = os.path.join(d, "minutrex")
    shared = os.path.join(d, "shared.ini")
    with open(shared, "wb") as f:
        f.write(settings_bytes(settings_lines(0, 5, 0, "Thé", "", "", "Partagé")))
    s.keep.append(shared)
    pa = s.start_program(exe, d, args=["--config", "shared.ini"])
    pa.wait_main_window()
    pb = s.start_program(exe, d, args=["--config", "shared.ini"])
    wb = pb.wait_main_window()
    # Without a window manager both windows open at the same place.
    s.tool("xdotool", "windowmove", "--sync", wb.id, "600", "0")

    # A renames its action; B opens its settings afterwards and confirms them
    # unchanged: they show A's name, which stays.
    dialog = open_settings(s, pa)
    set_action_name(s, dialog, "ChangedByA")
    confirm_settings(s, pa, dialog)
    s.check(settings_line(shared, 4) == "ChangedByA", "A's name is in the file")
    dialog = open_settings(s, pb)
    confirm_settings(s, pb, dialog)
    s.check(settings_line(shared, 4) == "ChangedByA", f"B's OK keeps A's name ({settings_line(shared, 4)!r})")

    # B's settings are open while A saves again: B's OK asks before it writes.
    dialog_b = open_settings(s, pb)
    s.tool("xdotool", "windowmove", "--sync", dialog_b.id, "650", "0")
    dialog_b = pb.wait("B's settings window moved", lambda: pb.window_of_size(DIALOG_SIZE), 3)
    dialog_a = open_settings(s, pa)
    set_action_name(s, dialog_a, "SecondByA")
    confirm_settings(s, pa, dialog_a)
    set_action_name(s, dialog_b, "ChangedByB")
    s.click(dialog_b, DIALOG_OK)
    question = pb.wait("the question whose settings to keep", lambda: pb.window_named("Minutrex"), 5)
    s.screenshot("whose-settings")
    s.check(settings_line(shared, 4) == "SecondByA", "nothing written before the answer")
    # Its first answer keeps this window's values; the next one takes the other copy's.
    s.tool("xdotool", "windowfocus", "--sync", question.id)
    s.tool("xdotool", "key", "--delay", "40", "Tab", "space")
    pb.wait("B's main window back", pb.main_window, 5)
    s.check(settings_line(shared, 4) == "SecondByA",
            f"taking the other copy's settings leaves them in the file ({settings_line(shared, 4)!r})")
    s.stop(pa.proc)
    s.stop(pb.proc)

    # Longer than the 32,767 characters a text box takes by default.
    d = s.fresh_dir()
    name = ("Nom-" * 10000)[:40000]
    parameters = ("p" * 9 + " ") * 4000
    lines = settings_lines(0, 5, 0, name, "prog.sh " + parameters, d + "/", "Long")
    with open(os.path.join(d, "Minutrex.ini"), "wb") as f:
        f.write(settings_bytes(lines))
    p = s.start_program(os.path.join(d, "minutrex"), d)
    p.wait_main_window()
    dialog = open_settings(s, p)
    confirm_settings(s, p, dialog)
    with open(os.path.join(d, "Minutrex.ini"), "rb") as f:
        after = f.read()
    s.check(after == settings_bytes(lines), "a 40,000-character action name and parameter list survive OK "
            f"byte for byte ({len(after)} bytes against {len(settings_bytes(lines))})")


def launcher_updates(path):
    """(time, application, properties) of every LauncherEntry Update that
    dbus-monitor wrote to path."""
    with open(path, errors="replace") as f:
        text = f.read()
    updates = []
    for block in re.split(r"\n(?=signal |method |error |method return )", text):
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
    s.start_servers(record=False)
    bus = s.start_bus("session")
    monitor = s.spawn("dbus-monitor", ["dbus-monitor", "--address", bus,
                                       "type='signal',interface='com.canonical.Unity.LauncherEntry'"])
    log = os.path.join(s.root, "dbus-monitor.log")
    # The monitor is in place once the bus has taken its name back.
    poll("the bus monitor in place", lambda: "member=NameLost" in open(log, errors="replace").read(), 10)
    d = s.fresh_dir()
    with open(os.path.join(d, "Minutrex.ini"), "wb") as f:
        f.write(settings_bytes(settings_lines(0, 0, 4, "Progrès", "", "", "Dock", options=(0, 0, 0, 1))))
    p = s.start_program(os.path.join(d, "minutrex"), d, extra_env={"DBUS_SESSION_BUS_ADDRESS": bus})
    s.check(p.wait_exit(15) == 0, "exit 0 at the end")
    updates = poll("the update that takes the progress away",
                   lambda: [u for u in launcher_updates(log) if u[2].get("progress-visible") is False], 5)
    updates = launcher_updates(log)
    s.log(f"{len(updates)} updates: {[(round(t, 3), u['progress'] if 'progress' in u else None) for t, _, u in updates]}")
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


def scenario_installed_as_root(s):
    """An installed copy whose folder it could write to (root may write
    anywhere) still keeps its settings per user. Run by another user, the
    copy is in the same position when it owns its folder."""
    s.start_servers(record=False)
    prefix = os.path.join(s.root, "prefix")
    install(s, prefix)
    bindir = os.path.join(prefix, "bin")
    before = sorted(os.listdir(bindir))
    home = os.path.join(s.root, "home")
    config = os.path.join(home, "config", "Minutrex", "Minutrex.ini")
    s.keep.append(config)
    p = s.start_program(os.path.join(bindir, "minutrex"), bindir, home=home)
    p.wait_main_window()
    deadline = time.monotonic() + 5
    while not os.path.isfile(config) and time.monotonic() < deadline:
        time.sleep(0.02)
    s.check(os.path.isfile(config), f"settings stored in {config}")
    with open(config, "rb") as f:
        s.check(f.read() == settings_bytes(FIRST_RUN_LINES), "with the first-run lines")
    s.check(sorted(os.listdir(bindir)) == before, f"nothing written beside the program ({os.listdir(bindir)})")
    s.click(p.main_window(), BUTTON_ANNULATION)
    s.check(p.wait_exit(3) == 0, "ANNULATION ends it")


def scenario_package(s):
    """The Debian package: its contents, lintian, and the software catalogue
    composed from it unpacked into a temporary root."""
    out = os.path.join(s.root, "package")
    r = run_quiet(s, s.args.cpack, "-G", "DEB", "--config", os.path.join(s.args.build_dir, "CPackConfig.cmake"),
                  "-B", out, timeout=240)
    s.check(r.returncode == 0, "cpack -G DEB succeeds" + ("" if r.returncode == 0 else f": {r.stdout}{r.stderr}"))
    arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True).stdout.strip()
    deb = os.path.join(out, f"minutrex_{s.args.program_version}-1_{arch}.deb")
    s.check(os.path.isfile(deb), f"{os.path.basename(deb)} made")

    r = run_quiet(s, "dpkg-deb", "--contents", deb)
    listed = {line.split()[-1].lstrip(".") for line in r.stdout.splitlines() if line.strip()}
    expected = ["/usr/bin/minutrex", f"/usr/share/applications/{APP_ID}.desktop",
                f"/usr/share/metainfo/{APP_ID}.metainfo.xml", "/usr/share/man/man1/minutrex.1.gz",
                "/usr/share/doc/minutrex/copyright", "/usr/share/icons/hicolor/scalable/apps/minutrex.svg"]
    expected += [f"/usr/share/icons/hicolor/{n}x{n}/apps/minutrex.png" for n in ICON_SIZES]
    missing = [path for path in expected if path not in listed]
    s.check(not missing, f"the package holds the program, desktop entry, icons, metadata, manual page "
                         f"and copyright file (missing {missing})")
    depends = run_quiet(s, "dpkg-deb", "--field", deb, "Depends").stdout
    s.check("libqt6widgets6" in depends and "libcanberra0" in depends, f"library dependencies computed ({depends.strip()})")
    recommends = {name.strip() for name in run_quiet(s, "dpkg-deb", "--field", deb, "Recommends").stdout.split(",")}
    # Native Wayland, and the toolkit's French texts.
    s.check({"qt6-wayland", "qt6-translations-l10n"} <= recommends, f"it recommends qt6-wayland and "
                                                                     f"qt6-translations-l10n ({sorted(recommends)})")

    # Informational tags shown too: lintian files the hardening ones there.
    r = run_quiet(s, "lintian", "--fail-on", "error", "--display-info", deb, timeout=240)
    errors = [line for line in r.stdout.splitlines() if line.startswith("E:")]
    s.check(r.returncode == 0 and not errors, f"lintian reports no error ({errors or r.returncode})")
    hardening = [line for line in r.stdout.splitlines() if "hardening" in line]
    s.check(not hardening, f"lintian says nothing about hardening ({hardening})")

    root = os.path.join(s.root, "root")
    s.check(run_quiet(s, "dpkg", "-x", deb, root).returncode == 0, "unpacked with dpkg -x")
    program = os.path.join(root, "usr", "bin", "minutrex")
    r = run_quiet(s, "readelf", "-S", "--wide", program)
    s.check(r.returncode == 0 and ".debug_info" not in r.stdout and ".symtab" not in r.stdout,
            "the program is stripped")
    # Debian's hardening: position independent, read-only relocations bound
    # at start, fortified calls and a stack protector.
    r = run_quiet(s, "readelf", "--file-header", "--program-headers", "--dynamic", "--dyn-syms", "--wide", program)
    dynamic = re.findall(r"\(FLAGS(?:_1)?\)\s+(?:Flags: )?(.*)", r.stdout)
    flags = {flag for line in dynamic for flag in line.split()}
    fortified = sorted(set(re.findall(r"\b(__\w+_chk)@", r.stdout)))
    s.check(re.search(r"Type:\s+DYN", r.stdout) and "PIE" in flags, f"the program is a PIE ({flags})")
    s.check("GNU_RELRO" in r.stdout and ("BIND_NOW" in flags or "NOW" in flags),
            f"with full RELRO: read-only relocations, bound at start ({flags})")
    s.check(fortified, "with fortified calls")
    s.log(f"fortified: {' '.join(fortified)}")
    s.check("__stack_chk_fail@" in r.stdout, "and a stack protector")
    r = run_quiet(s, "man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z",
                  os.path.join(root, "usr", "share", "man", "man1", "minutrex.1.gz"),
                  env=dict(os.environ, LC_ALL="C.UTF-8", MANROFFSEQ="", MANWIDTH="80"))
    s.check(r.returncode == 0 and not r.stderr.strip(), f"the manual page formats without a warning {r.stderr!r}")

    catalogue = os.path.join(s.root, "catalogue")
    hints = os.path.join(s.root, "hints")
    r = run_quiet(s, "appstreamcli", "compose", "--no-net", f"--result-root={catalogue}",
                  f"--hints-dir={hints}", "--origin=minutrex", root)
    s.keep.append(os.path.join(hints, "minutrex.hints.yaml"))
    s.check(r.returncode == 0, "appstreamcli compose succeeds" + ("" if r.returncode == 0 else f": {r.stdout}{r.stderr}"))
    with open(os.path.join(hints, "minutrex.hints.yaml")) as f:
        report = f.read()
    s.check("Hints: []" in report, "with no remark on the package")
    xml = zlib.decompress(open(os.path.join(catalogue, "usr", "share", "swcatalog", "xml", "minutrex.xml.gz"),
                               "rb").read(), 31).decode()
    s.check(f"<id>{APP_ID}</id>" in xml and '<icon type="cached" width="64" height="64">' in xml
            and "<screenshots>" in xml, "the catalogue lists the program with its icon and screenshots")
    r = run_quiet(s, "desktop-file-validate", os.path.join(root, "usr", "share", "applications", APP_ID + ".desktop"))
    s.check(r.returncode == 0 and not (r.stdout + r.stderr).strip(),
            f"desktop-file-validate passes: {r.stdout}{r.stderr}")


def face_pixels(img, win, box):
    """The pixels of a button's face along its top and left, clear of its bevel and caption."""
    x, y, w, h = box
    top = [(x + dx, y + 4) for dx in range(4, w - 4)]
    left = [(x + 4, y + dy) for dy in range(4, h - 4)]
    return {img.pixel(win.x + px_, win.y + py_) for px_, py_ in top + left}


def ink_rows(img, win, box, background):
    """Rows of the box that hold anything but the background, grouped into bands of (first, last, left, right)."""
    x, y, w, h = box
    bands = []
    for row in range(y, y + h):
        cols = [c for c in range(x, x + w) if img.pixel(win.x + c, win.y + row) != background]
        if not cols:
            continue
        if bands and bands[-1][1] == row - 1:
            first, _, left, right = bands[-1]
            bands[-1] = (first, row, min(left, cols[0]), max(right, cols[-1]))
        else:
            bands.append((row, row, cols[0], cols[-1]))
    return bands


def painted_screenshot(s, p, win, point, colour, label):
    """A screenshot once the window has been drawn: the point shows its known background colour."""
    def probe():
        img = s.screenshot(label, replace=True)
        return img if img.pixel(win.x + point[0], win.y + point[1]) == colour else None
    s.screenshot(label)
    return p.wait(f"{label} drawn", probe, 3, interval=0.05)


def scenario_looks(s):
    """Flat button faces and frame insides whatever the style or theme; the comment wraps between words."""
    s.start_servers(record=False)
    variants = (("default", {}), ("windows", {"QT_STYLE_OVERRIDE": "windows"}),
                ("fusion", {"QT_STYLE_OVERRIDE": "fusion"}), ("dark desktop", DARK_DESKTOP))
    for label, env in variants:
        d = s.fresh_dir()
        p = s.start_program(os.path.join(d, "minutrex"), d, extra_env=env)
        w = p.wait_main_window()
        img = painted_screenshot(s, p, w, COMMENT_BOX[:2], (216, 216, 216), f"main-{label}")
        for name, box in (("ANNULATION", BUTTON_ANNULATION), ("EXECUTER", BUTTON_EXECUTER)):
            seen = face_pixels(img, w, box)
            s.check(seen == {MAIN_FACE}, f"{label}: the face of {name} is flat {MAIN_FACE} (saw {sorted(seen)[:4]})")
        # The background panel is a flat light grey there.
        bands = ink_rows(img, w, COMMENT_BOX, (216, 216, 216))
        s.check(len(bands) == 2, f"{label}: the first-run comment is on two lines (ink bands {bands})")
        first, second = (b[3] - b[2] for b in bands[:2])
        # Broken inside "DOUBLE-CLIC", the first line would be the longer one.
        s.check(second > first, f"{label}: the second line starts with DOUBLE-CLIC (widths {first}, {second})")

        dialog = open_settings(s, p)
        img = painted_screenshot(s, p, dialog, (4, 300), FRAME_INSIDE, f"settings-{label}")
        for name, box in DIALOG_BUTTONS.items():
            seen = face_pixels(img, dialog, box)
            s.check(seen == {DIALOG_FACE}, f"{label}: the face of {name} is flat {DIALOG_FACE} (saw {sorted(seen)[:4]})")
        for name, (x, y) in FRAME_INSIDES.items():
            seen = {img.pixel(dialog.x + x + dx, dialog.y + y + dy) for dx in (-2, 0, 2) for dy in (-2, 0, 2)}
            s.check(seen == {FRAME_INSIDE}, f"{label}: the inside of {name} is {FRAME_INSIDE} (saw {sorted(seen)})")
        s.stop(p.proc)


SCENARIOS = {
    "install": scenario_install,
    "first_run": scenario_first_run,
    "final_beeps": scenario_final_beeps,
    "three_seconds": scenario_three_seconds,
    "all_digits": scenario_all_digits,
    "pause": scenario_pause,
    "settings_ok": scenario_settings_ok,
    "settings_cancel": scenario_settings_cancel,
    "missing_target": scenario_missing_target,
    "annulation": scenario_annulation,
    "about_at_zero": scenario_about_at_zero,
    "idle_inhibit": scenario_idle_inhibit,
    "end_notices": scenario_end_notices,
    "notice_markup": scenario_notice_markup,
    "slow_handler": scenario_slow_handler,
    "wedged_buses": scenario_wedged_buses,
    "wedged_sound": scenario_wedged_sound,
    "shared_settings": scenario_shared_settings,
    "dock_progress": scenario_dock_progress,
    "languages": scenario_languages,
    "idle_inhibit_portal": scenario_idle_inhibit_portal,
    "read_only_install": scenario_read_only_install,
    "command_line": scenario_command_line,
    "two_timers": scenario_two_timers,
    "installed_as_root": scenario_installed_as_root,
    "package": scenario_package,
    "keyboard": scenario_keyboard,
    "dark_palette": scenario_dark_palette,
    "scale_two": scenario_scale_two,
    "accessibility": scenario_accessibility,
    "wayland": scenario_wayland,
    "no_application": scenario_no_application,
    "hostile_settings": scenario_hostile_settings,
    "looks": scenario_looks,
    "window_manager": scenario_window_manager,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--cmake", default="cmake")
    parser.add_argument("--cpack", default="cpack")
    parser.add_argument("--program-version", required=True)
    parser.add_argument("--failures", required=True)
    parser.add_argument("--timeout", type=int, default=60)
    parser.add_argument("--keep", action="store_true", help="keep the scenario's work directory")
    parser.add_argument("scenario", choices=sorted(SCENARIOS))
    args = parser.parse_args()
    args.binary = os.path.abspath(args.binary)
    args.build_dir = os.path.abspath(args.build_dir)
    global FIRST_TITLE
    FIRST_TITLE = f"Minutrex v{args.program_version}  "

    def on_alarm(signum, frame):
        raise ScenarioTimeout(f"scenario {args.scenario} took more than {args.timeout} s")

    def on_term(signum, frame):
        raise Failure(f"stopped by signal {signum}")

    signal.signal(signal.SIGALRM, on_alarm)
    signal.signal(signal.SIGTERM, on_term)
    signal.signal(signal.SIGINT, on_term)

    failures = os.path.join(args.failures, args.scenario)
    shutil.rmtree(failures, ignore_errors=True)
    session = Session(args.scenario, args)
    passed = False
    try:
        signal.alarm(args.timeout)
        SCENARIOS[args.scenario](session)
        session.finish()
        passed = True
    except BaseException as e:
        session.log(f"FAILED: {e}")
        if not isinstance(e, Failure):
            session.log(traceback.format_exc())
        session.last_screenshot()
    finally:
        signal.alarm(0)
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        session.close()
        if not passed:
            session.save_failure(failures)
            print(f"artefacts kept in {failures}", flush=True)
        if args.keep:
            print(f"work files in {session.root}", flush=True)
        else:
            remove_tree(session.root)
    print(f"{args.scenario}: {'passed' if passed else 'FAILED'} in {time.monotonic() - session.started:.1f} s")
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
