#!/usr/bin/env python3
"""End-to-end scenarios for Minutrex: the real program, driven as a person would.

Each scenario starts its own servers, starts copies of the program, clicks and
types, and checks only what a person can see and hear: window titles, lit and
unlit segments in screenshots, beeps in the recording, the settings file, and
whether the target program ran. It never looks inside the program. Python
standard library only, except the scenarios that run python3-dbusmock
services on private buses or read what screen readers are told.

The harness is in harness.py (with xlib.py, pixels.py, layout.py, buses.py
and steps.py); the scenarios are grouped by subject in counting.py,
settings_window.py, actions.py, desktop_session.py, installation.py and
looks.py, each a function scenario_<name>.

Usage: minutrex_e2e.py --binary PATH --build-dir DIR --cmake PATH --cpack PATH
                       --program-version V --failures DIR [--timeout S] SCENARIO
"""

import sys

# The source tree is not the tests' to write into.
sys.dont_write_bytecode = True

import actions  # noqa: E402
import counting  # noqa: E402
import desktop_session  # noqa: E402
import harness  # noqa: E402
import installation  # noqa: E402
import looks  # noqa: E402
import settings_window  # noqa: E402

SCENARIOS = {name[len("scenario_"):]: function
             for module in (counting, settings_window, actions, desktop_session, installation, looks)
             for name, function in vars(module).items() if name.startswith("scenario_")}

if __name__ == "__main__":
    sys.exit(harness.main(SCENARIOS, __doc__))
