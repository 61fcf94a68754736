#!/usr/bin/env python3
"""End-to-end scenarios for Minutrex: the real program, driven as a person would.

The harness is harness.py, with screen.py, layout.py and buses.py; the
scenarios, each a function scenario_<name>, are grouped by subject in the
modules imported below.

Usage: minutrex_e2e.py --binary PATH --build-dir DIR --cmake PATH --cpack PATH
                       --program-version V --failures DIR [--timeout S] SCENARIO
"""

import sys

sys.dont_write_bytecode = True  # the source tree is not the tests' to write into

import counting, desktop_session, harness, installation, looks, settings_window  # noqa: E401,E402

if __name__ == "__main__":
    sys.exit(harness.main({name[len("scenario_"):]: function
                           for module in (counting, settings_window, desktop_session, installation, looks)
                           for name, function in vars(module).items() if name.startswith("scenario_")}, __doc__))
