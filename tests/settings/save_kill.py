#!/usr/bin/env python3
"""Kills the settings save at random moments, with every signal that ends the
program, and checks that each time the folder holds the old file or the new
one, byte for byte, and nothing else once the program has started again.

Usage: save_kill.py SAVE_LOOP_BINARY [RUNS]"""
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

binary = sys.argv[1]
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 200
root = tempfile.mkdtemp(prefix="save_kill-")
failures = []
left_behind = 0


def content(which):
    ref = os.path.join(root, "ref-" + which, "Minutrex.ini")
    os.makedirs(os.path.dirname(ref))
    subprocess.run([binary, "once", ref, which], check=True)
    with open(ref, "rb") as f:
        return f.read()


try:
    a, b = content("a"), content("b")
    assert a != b
    for run in range(runs):
        folder = os.path.join(root, "run%d" % run)
        os.makedirs(folder)
        path = os.path.join(folder, "Minutrex.ini")
        first_run = run % 4 == 0  # some runs create the file, most replace it
        if not first_run:
            subprocess.run([binary, "once", path, "a"], check=True)
        saver = subprocess.Popen([binary, "loop", path])
        # The moment is random, the check is not: whatever the moment, the
        # result must hold. The process has time to start and save a few times.
        time.sleep(random.uniform(0.0, 0.03))
        saver.send_signal(random.choice([signal.SIGKILL, signal.SIGTERM, signal.SIGINT, signal.SIGHUP]))
        saver.wait()

        names = sorted(os.listdir(folder))
        strays = [n for n in names if n != "Minutrex.ini"]
        # Only the window between linking the new file in and renaming it may
        # leave a temporary, and only one, which the next start removes.
        if strays:
            left_behind += 1
            if len(strays) != 1 or not strays[0].startswith(".Minutrex.ini.new-"):
                failures.append("run %d: stray files %s" % (run, strays))
        if "Minutrex.ini" in names:
            with open(path, "rb") as f:
                data = f.read()
            if data not in (a, b):
                failures.append("run %d: file of %d bytes is neither the old nor the new" % (run, len(data)))
        elif not first_run:
            failures.append("run %d: the settings file is gone" % run)
        subprocess.run([binary, "start", path], check=True)
        if sorted(os.listdir(folder)) != [n for n in names if n == "Minutrex.ini"]:
            failures.append("run %d: after a start the folder holds %s" % (run, sorted(os.listdir(folder))))
        shutil.rmtree(folder)
finally:
    shutil.rmtree(root, ignore_errors=True)

print("%d runs, %d left a temporary that the next start removed" % (runs, left_behind))
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)
