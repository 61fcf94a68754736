#!/usr/bin/env bash
# Measures build/minutrex beside a minimal Qt window that shows a label, under
# a virtual X server and a private sound server, and prints a table: time from
# the process start to the first visible window, peak memory, CPU time over a
# 40-second count, and how late a 3-second and a 40-second action run,
# counted from the process start. Each figure is the median of 3 runs.
# It only reports: no figure makes it fail. It takes about five minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh
install_missing
build_program "$ROOT/build" >/dev/null

# The yardstick: as little as Qt takes to show a window with a label. It quits
# after the milliseconds given, so that its CPU time covers the same span.
label_dir="$ROOT/build/bench-label"
mkdir -p "$label_dir/src"
cat >"$label_dir/src/main.cpp" <<'CPP'
#include <QApplication>
#include <QLabel>
#include <QTimer>
int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("00:00:30"));
    label.show();
    if (argc > 1)
        QTimer::singleShot(atoi(argv[1]), &app, &QApplication::quit);
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

exec python3 - "$ROOT/build/minutrex" "$label_dir/label" <<'PY'
import ctypes, os, select, shutil, signal, statistics, subprocess, sys, tempfile, time

program, label = sys.argv[1], sys.argv[2]
RUNS = 3
POLL = 0.002  # how often the screen is looked at for the first window
work = tempfile.mkdtemp(prefix="minutrex-bench-")
servers = []

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
    env = {"PATH": os.environ["PATH"], "HOME": base, "XDG_RUNTIME_DIR": os.path.join(base, "runtime")}
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
    return {"PATH": os.environ["PATH"], "DISPLAY": display, "PULSE_SERVER": pulse, "HOME": home,
            "XDG_CONFIG_HOME": os.path.join(home, "config"), "XDG_RUNTIME_DIR": os.path.join(home, "runtime"),
            "QT_QPA_PLATFORM": "xcb", "LANG": "C.UTF-8"}

MARK = '#!/bin/sh\ndate +%s.%N > "$(dirname "$0")/ran.tmp" && mv "$(dirname "$0")/ran.tmp" "$(dirname "$0")/ran"\n'
DESCRIPTION = "Descrip.Lignes : 1-Heures,2-Minutes,3-Secondes,4-Action,5-Fichier,6-Path,7-Observ,8/9/10-Options"

def run(cmd, cwd, home, seconds):
    """One run: (ms to the first visible window, peak RSS in MiB, CPU seconds, wall start)."""
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
    return window_ms, usage.ru_maxrss / 1024, usage.ru_utime + usage.ru_stime, start_wall

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
    window_ms, rss, cpu, start_wall = run([os.path.join(d, "minutrex")], d, os.path.join(d, "home"), seconds)
    mark = os.path.join(d, "ran")
    deadline = time.monotonic() + 10
    while not os.path.exists(mark):  # the target is detached: its mark may come after the exit
        if time.monotonic() > deadline:
            sys.exit("the target of the count did not run")
        time.sleep(0.01)
    with open(mark) as f:
        late_ms = (float(f.read()) - start_wall - seconds) * 1000
    return window_ms, rss, cpu, late_ms

def run_label(index):
    d = os.path.join(work, f"label-{index}")
    os.makedirs(d)
    return run([label, "40000"], d, os.path.join(d, "home"), 40)

try:
    long_runs = [run_program(40, i) for i in range(RUNS)]
    short_runs = [run_program(3, i) for i in range(RUNS)]
    label_runs = [run_label(i) for i in range(RUNS)]
finally:
    for server in servers:
        server.terminate()
        server.wait()
    shutil.rmtree(work, ignore_errors=True)

def median(runs, k, fmt):
    return fmt.format(statistics.median(r[k] for r in runs))

cpu_model = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
qt = subprocess.run(["qtpaths6", "--qt-version"], capture_output=True, text=True).stdout.strip() or "?"
print(f"Machine: {cpu_model}, {os.cpu_count()} CPUs, Linux {os.uname().release}, Qt {qt}; "
      f"load average at the end {os.getloadavg()[0]:.2f}")
print(f"Median of {RUNS} runs each.")
print()
print("| | minutrex | Qt window with a label |")
print("|---|---:|---:|")
print(f"| process start to first visible window (ms) | {median(long_runs, 0, '{:.0f}')} | {median(label_runs, 0, '{:.0f}')} |")
print(f"| peak RSS (MiB) | {median(long_runs, 1, '{:.1f}')} | {median(label_runs, 1, '{:.1f}')} |")
print(f"| CPU time over a 40-second count (s) | {median(long_runs, 2, '{:.2f}')} | {median(label_runs, 2, '{:.2f}')} |")
print(f"| 3-second action, late from process start (ms) | {median(short_runs, 3, '{:.0f}')} | – |")
print(f"| 40-second action, late from process start (ms) | {median(long_runs, 3, '{:.0f}')} | – |")
PY
