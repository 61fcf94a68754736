#!/usr/bin/env bash
# Measures build/minutrex beside a minimal Qt window that shows a label which
# changes its text three times a second, under a virtual X server and a
# private sound server, with no session bus. The programs take turns, round by
# round (5 rounds unless a number is given, the order rotated each round), so
# that the load of the moment weighs on all of them alike. It prints, for each
# figure, the median of minutrex, the median of the label and the median of
# their ratios within a round: time from the process start to the first
# visible window, peak memory, CPU time over a 40-second count, and how late a
# 3-second and a 40-second action run, counted from the process start.
# It only reports: no figure makes it fail. Five rounds take about eight minutes.
#
#   scripts/bench.sh [ROUNDS]
#   BENCH_PROGRAM=/path/to/other/minutrex scripts/bench.sh   # another build
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
source scripts/setup.sh
install_missing
build_program "$ROOT/build" >/dev/null
program=${BENCH_PROGRAM:-$ROOT/build/minutrex}

# The yardstick: as little as Qt takes to show a window with a label, whose
# text changes three times a second as a countdown's would. It quits 40 s
# after its start, so that its CPU time covers the span of a 40-second count.
label_dir="$ROOT/build/bench-label"
mkdir -p "$label_dir/src"
cat >"$label_dir/src/main.cpp" <<'CPP'
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
int main(int argc, char **argv)
{
    QElapsedTimer started;
    started.start();
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("00:00:40 2"));
    label.show();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    // A new text at every tick: the seconds and which third of them.
    QObject::connect(&tick, &QTimer::timeout, &label, [&] {
        const qint64 left = 40000 - started.elapsed();
        label.setText(QStringLiteral("00:00:%1 %2").arg(left / 1000, 2, 10, QLatin1Char('0')).arg(left % 1000 / 334));
    });
    tick.start(333);
    QTimer::singleShot(40000 - int(started.elapsed()), Qt::PreciseTimer, &app, &QApplication::quit);
    return app.exec();
}
CPP
cat >"$label_dir/src/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.21)
project(BenchLabel LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(Qt6 REQUIRED COMPONENTS Widgets)
add_executable(label main.cpp)
target_link_libraries(label PRIVATE Qt6::Widgets)
CMAKE
cmake -S "$label_dir/src" -B "$label_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$label_dir" >/dev/null

exec python3 - "$program" "$label_dir/label" "$rounds" <<'PY'
import ctypes, os, select, shutil, signal, statistics, subprocess, sys, tempfile, time

program, label, ROUNDS = sys.argv[1], sys.argv[2], int(sys.argv[3])
LONG, SHORT = 40, 3  # seconds of the two counts
POLL = 0.002  # how often the screen is looked at for the first window
work = tempfile.mkdtemp(prefix="minutrex-bench-")
servers = []
load_at_start = os.getloadavg()

def start_x():
    r, w = os.pipe()
    servers.append(subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24", "-ac",
                                     "-nolisten", "tcp", "-noreset"], pass_fds=(w,),
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    os.close(w)
    number = b""
    while not number.endswith(b"\n"):
        if not select.select([r], [], [], 15)[0]:
            sys.exit("Xvfb did not start")
        number += os.read(r, 16)
    os.close(r)
    return ":" + number.decode().strip()

def start_pulse():
    base = os.path.join(work, "pulse")
    os.makedirs(os.path.join(base, "runtime"), mode=0o700)
    socket = os.path.join(base, "native")
    env = {"PATH": os.environ["PATH"], "HOME": base, "XDG_RUNTIME_DIR": os.path.join(base, "runtime"),
           "DBUS_SESSION_BUS_ADDRESS": "disabled:"}
    servers.append(subprocess.Popen(["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--system=false",
                                     "--use-pid-file=false", "-L", "module-null-sink sink_name=bench",
                                     "-L", f"module-native-protocol-unix auth-anonymous=1 socket={socket}"],
                                    env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
    server = "unix:" + socket
    deadline = time.monotonic() + 15
    while subprocess.run(["pactl", "info"], capture_output=True, env=dict(env, PULSE_SERVER=server)).returncode:
        if time.monotonic() > deadline:
            sys.exit("the PulseAudio daemon did not start")
        time.sleep(0.05)
    return server

display = start_x()
pulse = start_pulse()

# The screen through Xlib: a top-level window that is mapped and viewable is
# the first visible one (no window manager, and one program at a time).
class WindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int), ("height", ctypes.c_int),
                ("border_width", ctypes.c_int), ("depth", ctypes.c_int), ("visual", ctypes.c_void_p),
                ("root", ctypes.c_ulong), ("class_", ctypes.c_int), ("bit_gravity", ctypes.c_int),
                ("win_gravity", ctypes.c_int), ("backing_store", ctypes.c_int),
                ("backing_planes", ctypes.c_ulong), ("backing_pixel", ctypes.c_ulong),
                ("save_under", ctypes.c_int), ("colormap", ctypes.c_ulong), ("map_installed", ctypes.c_int),
                ("map_state", ctypes.c_int), ("all_event_masks", ctypes.c_long),
                ("your_event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                ("override_redirect", ctypes.c_int), ("screen", ctypes.c_void_p)]

IS_VIEWABLE = 2
x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 4
x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p]
x11.XFree.argtypes = [ctypes.c_void_p]
# A window that goes between two requests is no reason to end.
ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda d, e: 0)
x11.XSetErrorHandler(ERROR_HANDLER)
xdisplay = x11.XOpenDisplay(display.encode())
xroot = x11.XDefaultRootWindow(xdisplay)

def window_visible():
    root, parent, n = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.c_uint()
    children = ctypes.POINTER(ctypes.c_ulong)()
    if not x11.XQueryTree(xdisplay, xroot, ctypes.byref(root), ctypes.byref(parent),
                          ctypes.byref(children), ctypes.byref(n)):
        return False
    attrs = WindowAttributes()
    try:
        return any(x11.XGetWindowAttributes(xdisplay, children[i], ctypes.byref(attrs))
                   and attrs.map_state == IS_VIEWABLE for i in range(n.value))
    finally:
        if children:
            x11.XFree(children)

def env(home):
    os.makedirs(os.path.join(home, "runtime"), mode=0o700, exist_ok=True)
    # No session bus: neither program may spend its start on one, or wait for one.
    return {"PATH": os.environ["PATH"], "DISPLAY": display, "PULSE_SERVER": pulse, "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, "config"), "XDG_RUNTIME_DIR": os.path.join(home, "runtime"),
            "DBUS_SESSION_BUS_ADDRESS": "disabled:", "QT_QPA_PLATFORM": "xcb", "LANG": "C.UTF-8"}

# One process: the shell gives way to date, which writes the time at once.
# The mark is whole once its line has ended.
MARK = '#!/bin/sh\nexec date +%s.%N >"${0%/*}/ran"\n'
DESCRIPTION = "Descrip.Lignes : 1-Heures,2-Minutes,3-Secondes,4-Action,5-Fichier,6-Path,7-Observ,8/9/10-Options"

def run(cmd, cwd, home, seconds):
    """One run: {window ms, rss MiB, cpu s}, and the wall time of its start."""
    start_wall, start = time.time(), time.monotonic()
    proc = subprocess.Popen(cmd, cwd=cwd, env=env(home), stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    window_ms = None
    while window_ms is None:
        if window_visible():
            window_ms = (time.monotonic() - start) * 1000
        elif proc.poll() is not None or time.monotonic() - start > 30:
            sys.exit(f"{cmd[0]} showed no window")
        else:
            time.sleep(POLL)
    deadline = time.monotonic() + seconds + 30
    while True:
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid:
            break
        if time.monotonic() > deadline:
            proc.kill()
            sys.exit(f"{cmd[0]} did not end")
        time.sleep(0.05)
    proc.returncode = status
    return {"window": window_ms, "rss": usage.ru_maxrss / 1024, "cpu": usage.ru_utime + usage.ru_stime}, start_wall

def run_program(seconds, index):
    d = os.path.join(work, f"minutrex-{seconds}-{index}")
    os.makedirs(d)
    shutil.copy2(program, os.path.join(d, "minutrex"))
    with open(os.path.join(d, "mark.sh"), "w") as f:
        f.write(MARK)
    os.chmod(os.path.join(d, "mark.sh"), 0o755)
    lines = [DESCRIPTION, " 0 ", " 0 ", f" {seconds} ", "Marque", "mark.sh", d + "/", "Mesure",
             " 1 ", " 1 ", " 1 ", " 1 "]
    with open(os.path.join(d, "Minutrex.ini"), "wb") as f:
        f.write(b"".join(line.encode("cp1252") + b"\r\n" for line in lines))
    figures, start_wall = run([os.path.join(d, "minutrex")], d, os.path.join(d, "home"), seconds)
    mark = os.path.join(d, "ran")
    deadline = time.monotonic() + 10
    while True:  # the target is detached: its mark may come after the exit
        text = open(mark).read() if os.path.exists(mark) else ""
        if text.endswith("\n"):
            break
        if time.monotonic() > deadline:
            sys.exit("the target of the count did not run")
        time.sleep(0.01)
    figures["late"] = (float(text) - start_wall - seconds) * 1000
    return figures

def run_label(index):
    d = os.path.join(work, f"label-{index}")
    os.makedirs(d)
    return run([label], d, os.path.join(d, "home"), LONG)[0]

KINDS = {"long": lambda i: run_program(LONG, i), "short": lambda i: run_program(SHORT, i), "label": run_label}
rounds = []
try:
    for i in range(ROUNDS):
        names = list(KINDS)
        names = names[i % len(names):] + names[:i % len(names)]  # each kind leads in turn
        rounds.append({name: KINDS[name](i) for name in names})
        print(f"round {i + 1} of {ROUNDS} done ({' then '.join(names)})", file=sys.stderr)
finally:
    for server in servers:
        server.terminate()
        server.wait()
    shutil.rmtree(work, ignore_errors=True)

def med(values):
    return statistics.median(values)

def row(title, fmt, ours, theirs, compared_with=None):
    a = med(ours)
    b = med(theirs) if theirs else None
    ratios = [x / y for x, y in zip(ours, theirs or compared_with) if y]
    ratio = f"{med(ratios):.2f}" if ratios else "–"
    if theirs is None:
        ratio += " of its first window"
    print(f"| {title} | {fmt.format(a)} | {'–' if b is None else fmt.format(b)} | {ratio} |")

cpu_model = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
qt = subprocess.run(["qtpaths6", "--qt-version"], capture_output=True, text=True).stdout.strip() or "?"
load_at_end = os.getloadavg()
print(f"Machine: {cpu_model}, {os.cpu_count()} CPUs, Linux {os.uname().release}, Qt {qt}")
print("Load average (1, 5, 15 min): {:.2f} {:.2f} {:.2f} at the start, {:.2f} {:.2f} {:.2f} at the end"
      .format(*load_at_start, *load_at_end))
print(f"Medians of {ROUNDS} rounds; in each round the three runs take turns, the order rotated round by round.")
print("Ratio: the median of the rounds' own ratios.")
print()
long = [r["long"] for r in rounds]
short = [r["short"] for r in rounds]
labels = [r["label"] for r in rounds]
print("| | minutrex | Qt label changing its text 3 times a second | ratio |")
print("|---|---:|---:|---:|")
row("process start to first visible window (ms)", "{:.0f}", [r["window"] for r in long], [r["window"] for r in labels])
row("peak RSS (MiB)", "{:.1f}", [r["rss"] for r in long], [r["rss"] for r in labels])
row(f"CPU time over a {LONG}-second count (s)", "{:.3f}", [r["cpu"] for r in long], [r["cpu"] for r in labels])
row(f"{SHORT}-second action, late from process start (ms)", "{:.0f}", [r["late"] for r in short], None,
    [r["window"] for r in short])
row(f"{LONG}-second action, late from process start (ms)", "{:.0f}", [r["late"] for r in long], None,
    [r["window"] for r in long])
print()
print("peak RSS, minutrex less the label (MiB): {:.1f}".format(med([a["rss"] - b["rss"] for a, b in zip(long, labels)])))
print()
print("Each round: first window (ms), peak RSS (MiB), CPU (s) of minutrex's 40-second run / of the label;"
      " lateness (ms) of the 3-second and 40-second actions")
for i, r in enumerate(rounds, 1):
    print("round {}: {:.0f}/{:.0f}  {:.1f}/{:.1f}  {:.3f}/{:.3f}  {:.0f} {:.0f}".format(
        i, r["long"]["window"], r["label"]["window"], r["long"]["rss"], r["label"]["rss"],
        r["long"]["cpu"], r["label"]["cpu"], r["short"]["late"], r["long"]["late"]))
PY
