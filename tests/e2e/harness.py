"""The harness of the end-to-end scenarios: servers, processes, waiting, the
settings files, the program seen from outside, and the runner.

Each scenario has its own X server (Xvfb, no window manager) and sound server
(PulseAudio with a null sink, recorded through its monitor), runs copies of
the program from fresh directories, clicks and types with xdotool, and checks
only what a person can see and hear. The program never reaches the machine's
own D-Bus buses: unless a scenario starts private ones, its bus addresses name
sockets that do not exist. A failed scenario keeps its screenshots, recording,
settings files and logs under <failures>/<scenario>/; every process it started
is ended on the way out, whatever happened.
"""

import argparse
import array
import ctypes
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
import wave

import screen
from screen import read_display
from layout import BUTTON_ANNULATION, CLICKED, DIALOG_OK, DIALOG_SIZE, MAIN_SIZE, TIME_PANEL

# The settings window is 678 pixels tall: a 640x480 screen would put its
# buttons off the bottom edge.
SCREEN = "1024x768x24"

DESCRIPTION = ("Descrip.Lignes : 1-Heures,2-Minutes,3-Secondes,4-Action,5-Fichier,"
               "6-Path,7-Observ,8/9/10-Options")
OBS_DEFAULT = " " * 9 + "CLIC sur l'heure : Pause" + " " * 7 + "DOUBLE-CLIC : Réglages Paramètres"
FIRST_RUN_LINES = [DESCRIPTION, " 0 ", " 0 ", " 30 ", "(aucune action)", "", "", OBS_DEFAULT,
                   " 1 ", " 1 ", " 1 ", " 1 "]
# A settings file given with --config adds its name after the program's.
TITLE_RE = re.compile(r"^(\d\d):(\d\d):(\d\d)  Minutrex(?: – (.+))?$")
# The AppStream id, which names the desktop entry and the metadata files.
APP_ID = "org.example.minutrex"

# A beep is a burst of sound above this peak level (of 32767); the bell of
# the sound theme peaks near 10000 at full volume.
BEEP_LEVEL = 1500

# How late past its delay an action may run, counted from the process start
# (the count runs from there): the program's loading before it reads the
# clock, the last tick's timer, then a shell, `date` and `mv` to start on a
# busy two-core machine.
ACTION_SLACK = 0.6
# The launcher's message when the target cannot be opened.
MESSAGE = "Minutrex - Action"
MARK_SCRIPT = ('#!/bin/sh\n# Records when it ran, to the nanosecond.\n'
               'date +%s.%N > "$(dirname "$0")/ran.tmp" && mv "$(dirname "$0")/ran.tmp" "$(dirname "$0")/ran"\n')


class Failure(Exception):
    """A check of the scenario did not hold."""


class Missed(Failure):
    """The observer looked too late: what it was to see had already passed."""


def wait(what, probe, timeout, interval=0.01, guard=None, detail=None):
    """probe()'s first true value, tried every `interval` s for up to `timeout` s.

    Whatever another process writes is read through this, never looked at
    once. guard() is called between tries and raises once waiting has become
    pointless; detail() says what was seen, for the failure's message.
    """
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if guard:
            guard()
        if time.monotonic() > deadline:
            raise Failure(f"no {what} within {timeout} s" + (f"; {detail()}" if detail else ""))
        time.sleep(interval)


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


def plain_env(**values):
    """An environment of its own for a process: the PATH, and these."""
    return dict(PATH=os.environ.get("PATH", "/usr/bin:/bin"), **values)


def read_file(path):
    with open(path, "rb") as f:
        return f.read()


def desktop_entry(path):
    with open(path, encoding="utf-8") as f:
        return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line and not line.startswith("#"))


def settings_line(path, index):
    return read_file(path).split(b"\r\n")[index].decode("cp1252")


def file_state(path):
    st = os.stat(path)
    return read_file(path), st.st_mtime_ns, st.st_ino


def write_file(path, data, mode=None):
    """Text or bytes into a file; the path."""
    with open(path, "wb") as f:
        f.write(data.encode() if isinstance(data, str) else data)
    if mode is not None:
        os.chmod(path, mode)
    return path


def write_script(path, text):
    return write_file(path, text, 0o755)


def read_mark(directory):
    """When the mark script ran, as wall-clock seconds, or None; the script
    renames its mark into place, so a mark is never seen half written."""
    path = os.path.join(directory, "ran")
    return float(read_file(path).strip()) if os.path.exists(path) else None


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
    bursts = []
    for i, start in enumerate(range(0, len(samples) // channels, step)):
        chunk = samples[start * channels:(start + step) * channels]
        if not (chunk and max(max(chunk), -min(chunk)) > BEEP_LEVEL):
            continue
        t = i / 100
        if bursts and t - bursts[-1][1] <= 0.06:
            bursts[-1][1] = t + 0.01
        else:
            bursts.append([t, t + 0.01])
    return [(round(a, 2), round(b, 2)) for a, b in bursts if b - a >= 0.02]


def ended(proc, what):
    """A guard for wait: fails once `proc` has ended."""
    def guard():
        if proc.poll() is not None:
            raise Failure(f"{what} ended (status {proc.returncode})")
    return guard


class Session:
    """One scenario's servers, program copies, artefacts and clean-up."""

    def __init__(self, name, args):
        self.args = args
        self.first_title = f"Minutrex v{args.program_version}  "
        self.root = tempfile.mkdtemp(prefix=f"minutrex-e2e-{name}-")
        os.chmod(self.root, 0o755)  # nobody must reach the read-only install
        self.started = time.monotonic()
        self.procs = []
        self.shots = []
        self.keep = [os.path.join(self.root, "sound.wav")]  # files worth keeping when the scenario fails
        self.log_lines = []
        self.deferred = []  # failed checks that let the scenario go on
        self.pings = []
        self.display = None
        self.x = None  # the driver's own connection to the X server
        self.pulse_server = None
        self.recorder = None  # parec
        self.sound = os.path.join(self.root, "sound.wav")
        # Addresses of the private buses; none started: sockets that do not exist.
        self.system_bus = "unix:path=" + os.path.join(self.root, "no-system-bus")
        self.session_bus = "unix:path=" + os.path.join(self.root, "no-session-bus")
        self.dirs = 0
        self.buses = 0

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

    def stays(self, what, condition, seconds, reason, interval=0.02):
        """A negative check: condition() holds at every look for `seconds`,
        which `reason` says is long enough for the fault to show; fails at
        the first look where it does not."""
        start = time.monotonic()

        def over():
            if not condition():
                raise Failure(f"{what}: no longer so {time.monotonic() - start:.2f} s into the "
                              f"{seconds:.1f} s watched")
            return time.monotonic() - start >= seconds
        wait(what, over, seconds + 10, interval)
        self.log(f"ok: {what}, watched for {max(seconds, 0):.1f} s ({reason})")

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

    def spawn_reporting(self, label, cmd, timeout=15, **kwargs):
        """Starts a server that writes one line to a pipe once it is ready
        (cmd(fd) names the pipe to it); the process and that line."""
        read_end, write_end = os.pipe()
        try:
            proc = self.spawn(label, cmd(write_end), pass_fds=(write_end,), **kwargs)
        finally:
            os.close(write_end)
        got = [b""]

        def probe():
            if select.select([read_end], [], [], 0.05)[0]:
                data = os.read(read_end, 256)
                if not data:
                    raise Failure(f"{label} ended before it reported that it is ready")
                got[0] += data
            return got[0].endswith(b"\n")
        try:
            wait(f"report from {label}", probe, timeout, interval=0)
        finally:
            os.close(read_end)
        return proc, got[0].decode().strip()

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
        # The driver's own display connections go before the X server does.
        for pings in self.pings:
            pings.stop(quiet=True)
        if self.x:
            self.x.close()
        if self.recorder:
            self.stop(self.recorder, signal.SIGINT, 5)
        for label, proc in reversed(self.procs):
            self.stop(proc)

    def tool(self, *cmd, timeout=10, check=True):
        env = dict(os.environ, DISPLAY=self.display or "")
        result = subprocess.run(cmd, capture_output=True, env=env, timeout=timeout)
        if check and result.returncode != 0:
            raise Failure(f"{' '.join(cmd)} failed ({result.returncode}): {result.stderr.decode(errors='replace')}")
        return result

    def run_quiet(self, *cmd, timeout=120, **kwargs):
        """Runs a tool to its end, keeping its output with the artefacts."""
        r = subprocess.run(cmd, capture_output=True, text=True, timeout=timeout, **kwargs)
        log = os.path.join(self.root, f"{os.path.basename(cmd[0])}.log")
        with open(log, "a") as f:
            f.write(f"$ {' '.join(cmd)}\n{r.stdout}{r.stderr}(status {r.returncode})\n")
        self.keep.append(log)
        return r

    # -- servers

    def start_x(self):
        _, number = self.spawn_reporting(
            "xvfb", lambda fd: ["Xvfb", "-displayfd", str(fd), "-screen", "0", SCREEN, "-ac", "-nolisten", "tcp",
                                "-noreset"])
        self.display = ":" + number
        self.x = screen.Display(self.display)
        self.log(f"X server on {self.display}")

    def start_pulse(self):
        base = os.path.join(self.root, "pulse")
        home = os.path.join(base, "home")
        runtime = os.path.join(base, "runtime")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        os.chmod(base, 0o755)
        socket = os.path.join(base, "native")
        env = plain_env(HOME=home, XDG_RUNTIME_DIR=runtime)
        proc = self.spawn("pulseaudio", ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                         "--system=false", "--disallow-exit", "--use-pid-file=false",
                                         "--log-target=stderr", "-L", "module-null-sink sink_name=rec",
                                         "-L", f"module-native-protocol-unix auth-anonymous=1 socket={socket}"],
                          env=env)
        self.pulse_server = "unix:" + socket
        wait("answer from the PulseAudio daemon", lambda: subprocess.run(
            ["pactl", "info"], capture_output=True, env=self.pulse_env()).returncode == 0, 15, 0.05,
            guard=ended(proc, "the PulseAudio daemon"))
        subprocess.run(["pactl", "set-default-sink", "rec"], check=True, capture_output=True, env=self.pulse_env())
        self.log(f"sound server on {self.pulse_server}, default sink rec")

    def pulse_env(self):
        return plain_env(PULSE_SERVER=self.pulse_server, HOME=os.path.join(self.root, "pulse", "home"))

    def start_servers(self, record=False):
        """The X server and the sound server, once, as the first program
        started needs them; with record, the sound is recorded from now on."""
        if self.display is None:
            self.start_x()
            self.start_pulse()
        if record and not self.recorder:
            # The null sink's monitor into a WAV file; nothing counts until sound flows.
            self.recorder = self.spawn("parec", ["parec", "-d", "rec.monitor", "--latency-msec=20",
                                                 "--file-format=wav", self.sound], env=self.pulse_env())
            wait("recording from parec", lambda: os.path.exists(self.sound) and os.path.getsize(self.sound) > 8236,
                 10, guard=ended(self.recorder, "parec"))  # the header and 8 KiB of sound
            self.log("recording the null sink")

    def beeps(self, settle=0.6):
        """The bursts of sound recorded, as (start, end) in seconds, once the recording is stopped."""
        time.sleep(settle)  # the last beep still travels through the buffers into the recording
        self.stop(self.recorder, signal.SIGINT, 5)  # SIGINT lets parec finish the WAV header
        bursts = count_bursts(self.sound)
        self.log(f"heard {len(bursts)} beep(s) at {[b[0] for b in bursts]} s of the recording")
        return bursts

    # -- program

    def write_settings(self, path, lines):
        """A settings file of these lines; a directory gets its Minutrex.ini."""
        if os.path.isdir(path):
            path = os.path.join(path, "Minutrex.ini")
        self.keep.append(write_file(path, settings_bytes(lines)))
        return path

    def fresh_dir(self, settings=None):
        """A new directory holding a copy of the binary, and optionally a settings file."""
        self.dirs += 1
        d = os.path.join(self.root, f"run{self.dirs}")
        os.makedirs(d)
        shutil.copy2(self.args.binary, os.path.join(d, "minutrex"))
        self.keep.append(os.path.join(d, "Minutrex.ini"))
        if settings is not None:
            self.write_settings(d, settings)
        return d

    def marked_dir(self, seconds, comment, action="Marque", target="mark.sh", options=(1, 1, 1, 1), mark=True):
        """A fresh copy whose settings count `seconds` towards `target` in its
        own directory, beside the mark script unless mark is false."""
        d = self.fresh_dir()
        if mark:
            write_script(os.path.join(d, "mark.sh"), MARK_SCRIPT)
        self.write_settings(d, settings_lines(0, 0, seconds, action, target, d + "/", comment, options))
        return d

    def start_marked(self, seconds, comment, record=True):
        """Servers, and a fresh copy counting `seconds` towards the mark script; (directory, program)."""
        self.start_servers(record=record)
        d = self.marked_dir(seconds, comment)
        return d, self.start_program(d)

    def start_first_run_counting(self):
        """A fresh copy started without a settings file, once its first tick has come."""
        d = self.fresh_dir()
        p = self.start_program(d)
        p.wait_main_window()
        p.wait_counting()
        return d, p

    def wait_mark(self, directory, timeout=5):
        """When the mark script ran: it is started detached, so it may finish
        after the program has ended."""
        ran = wait(f"mark of the target script in {directory} (the target did not run)",
                   lambda: read_mark(directory), timeout)
        self.log("ok: the target ran")
        return ran

    def check_ran_on_time(self, p, ran, delay):
        """The action at wall time `ran` came `delay` seconds into the count."""
        since_process = ran - p.start_wall
        self.log(f"the target ran {since_process:.3f} s after the process started, "
                 f"{ran - p.window_wall:.3f} s after the main window was first seen")
        # The count runs from the launch, so neither before the delay has passed
        # since then, nor later by the time the program takes to show its window.
        self.check(since_process >= delay, f"the target ran no earlier than {delay} s after the process started "
                   f"({since_process:.3f})")
        self.check(since_process <= delay + ACTION_SLACK, f"the target ran at most {delay + ACTION_SLACK:.1f} s "
                   f"after the process started ({since_process:.3f})")

    def start_program(self, exe, cwd=None, user=None, home=None, args=(), extra_env=None):
        """The program at `exe` (a directory: its copy there) started in `cwd` (its own directory)."""
        self.start_servers()
        if os.path.isdir(exe):
            exe = os.path.join(exe, "minutrex")
        home = home or os.path.join(self.root, "home")
        runtime = os.path.join(home, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env = plain_env(DISPLAY=self.display, PULSE_SERVER=self.pulse_server, HOME=home,
                        XDG_CONFIG_HOME=os.path.join(home, "config"), XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb",
                        LANG="C.UTF-8", DBUS_SYSTEM_BUS_ADDRESS=self.system_bus,
                        DBUS_SESSION_BUS_ADDRESS=self.session_bus)
        env = {name: value for name, value in dict(env, **(extra_env or {})).items()
               if value is not None}  # None: not set at all
        cmd = [exe, *args]
        if user is not None:
            cmd = ["setpriv", f"--reuid={user}", f"--regid={user}", "--clear-groups", "--pdeathsig", "TERM", *cmd]
        return Program(self, cmd, cwd or os.path.dirname(exe), env)

    # -- eyes, ears and hands

    def look(self, win, label, replace=False):
        """The window's title and a screenshot of one moment; with replace,
        the screenshot takes the place of the last one kept."""
        title, img = self.x.look(win)
        if replace and self.shots:
            self.shots.pop()
        self.shots.append((f"{len(self.shots):02d}-{label}", img))
        return title, img

    def screenshot(self, label, replace=False):
        return self.look(None, label, replace)[1]

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
        self.log(f"{'double-' if double else ''}clicked {CLICKED.get(box_or_point, box_or_point)} in {win.name!r}")

    def key(self, win, *keys):
        """Keys pressed in `win`, which gets the keyboard first."""
        self.tool("xdotool", "windowfocus", "--sync", win.id)
        self.tool("xdotool", "key", "--delay", "40", *keys)

    def type_text(self, text):
        self.tool("xdotool", "type", "--delay", "60", text)

    def type_in(self, dialog, where, text, replace=False):
        """Text typed where a click puts the keyboard; with replace, in place
        of what is there. A click in the time selects the section under it,
        and each full section moves on to the next."""
        self.click(dialog, where)
        if replace:
            self.tool("xdotool", "key", "ctrl+a")
        self.type_text(text)
        self.screenshot("typed")

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
            write_file(os.path.join(directory, name + ".png"), img.png())
        for path in self.keep:
            if os.path.isfile(path):
                rel = os.path.relpath(path, self.root).replace(os.sep, "_")
                shutil.copy2(path, os.path.join(directory, rel))
        write_file(os.path.join(directory, "driver.log"), "\n".join(self.log_lines) + "\n")


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
        return self.session.x.windows(self.pid) if self.session.display else []

    def window_of_size(self, size):
        return next((w for w in self.windows() if (w.w, w.h) == size), None)

    def main_window(self):
        return self.window_of_size(MAIN_SIZE)

    def settings_window(self):
        return self.window_of_size(DIALOG_SIZE)

    def window_named(self, title):
        return next((w for w in self.windows() if w.name == title), None)

    def wait(self, what, probe, timeout, interval=0.01, detail=None):
        """wait(), failing at once should the program end meanwhile."""
        return wait(what, probe, timeout, interval, ended(self.proc, f"minutrex, while waiting for {what},"),
                    detail or (lambda: f"windows: {self.windows()}"))

    def wait_window(self, title, timeout):
        return self.wait(f"window {title!r}", lambda: self.window_named(title), timeout)

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

    def wait_counting(self, timeout=2):
        """The main window once its first tick has put a time in the title."""
        return self.wait_title(lambda t: title_seconds(t) is not None, "first tick", timeout)

    def steady_title(self, hold, timeout):
        """The main window's title once it has not changed for `hold` seconds."""
        seen = [None, time.monotonic()]

        def probe():
            w = self.main_window()
            title = w.name if w else None
            if title != seen[0]:
                seen[:] = [title, time.monotonic()]
            return time.monotonic() - seen[1] >= hold and title
        return self.wait(f"the title standing still for {hold} s", probe, timeout, 0.05,
                         lambda: f"last {seen[0]!r}")

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"minutrex still running {timeout} s later; windows: {self.windows()}")

    def ends(self, timeout, what):
        """The program ends with status 0 within `timeout` s."""
        status = self.wait_exit(timeout)
        self.session.check(status == 0, f"minutrex exits with status 0 {what} (got {status})")

    def open_settings(self):
        s = self.session
        s.click(self.main_window(), TIME_PANEL, double=True)
        dialog = self.wait("settings window", self.settings_window, 3)
        s.log(f"settings window {dialog}")
        s.check(self.main_window() is None, "the main window is hidden while the settings window is open")
        # Qt on X11 puts the application's name in place of an empty title, so
        # blanks are how a window can show none; what counts is that none shows.
        s.expect(dialog.name.strip() == "", f"the settings window shows no title (got {dialog.name!r})")
        s.screenshot("settings-window")
        return dialog

    def confirm(self, dialog):
        self.session.click(dialog, DIALOG_OK)
        self.wait("the main window back after OK", self.main_window, 5)

    def annul(self):
        self.session.click(self.main_window(), BUTTON_ANNULATION)
        self.ends(3, "after ANNULATION")

    def dismiss(self, box, key="Return"):
        """A key in a message box, which then goes; the program may end with it."""
        self.session.key(box, key)
        wait(f"message {box.name!r} to close", lambda: self.window_named(box.name) is None, 3)

    def wait_display(self, title, expected, label, follow=False):
        """The screenshot and the main window once the display shows `expected`
        while the title reads `title`, both read at one moment by each look.
        The window may be painted a moment after its title is set; once
        painted, it must show `expected` before the title moves on. With
        follow, a title moved on to another time is what the display must
        show then, so that a slow observer cannot break the check."""
        s, w = self.session, self.main_window()
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
                # Only a look that came too late is a miss: a window seen
                # unpainted until its title moved on was never painted in time.
                if not seen:
                    raise Missed(f"no look taken while the title read {title!r} (title now {now!r})")
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

    def running(self):
        return self.proc.poll() is None

    def stop(self):
        self.session.stop(self.proc)


def main(scenarios, doc):
    parser = argparse.ArgumentParser(description=doc, formatter_class=argparse.RawDescriptionHelpFormatter)
    for option in ("--binary", "--build-dir", "--program-version", "--failures"):
        parser.add_argument(option, required=True)
    parser.add_argument("--cmake", default="cmake")
    parser.add_argument("--cpack", default="cpack")
    parser.add_argument("--timeout", type=int, default=60)
    parser.add_argument("--keep", action="store_true", help="keep the scenario's work directory")
    parser.add_argument("scenario", choices=sorted(scenarios))
    args = parser.parse_args()
    args.binary = os.path.abspath(args.binary)
    args.build_dir = os.path.abspath(args.build_dir)

    def on_alarm(signum, frame):
        raise Failure(f"scenario {args.scenario} took more than {args.timeout} s")

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
        scenarios[args.scenario](session)
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
