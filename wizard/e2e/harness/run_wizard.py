#!/usr/bin/env python3
"""Starts Termgate.exe under Wine for a person to use, in a prefix of its own in the build tree.

  run_wizard.py --tree BUILD_DIR --arch x86|x64 [--lang CODE]

With a display, the wizard opens there and this waits until it ends. Without one, it runs on a
private Xvfb, walks through the welcome and terms windows (choosing accept, which changes
nothing) and saves a screenshot of each window it shows.
"""

import argparse
import os
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from window_spy_client import Inspector  # noqa: E402
from scenarios import Run  # noqa: E402
from wine_session import Session  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tree", required=True)
    parser.add_argument("--arch", choices=["x86", "x64"], required=True)
    parser.add_argument("--lang", help="language code written as the first line of Lang.ini")
    args = parser.parse_args()

    headless = not os.environ.get("DISPLAY")
    state = Path(args.tree) / "run-wizard" / "session.json"
    state.parent.mkdir(parents=True, exist_ok=True)
    print("preparing a Wine prefix (about 20 s the first time)...", flush=True)
    session = Session.create(state, args.tree, args.arch)
    if session.state["unsupported"]:
        print(session.state["unsupported"], file=sys.stderr)
        return 1
    language_file = None if args.lang is None else args.lang.encode("cp1252") + b"\r\n"
    try:
        if not headless:
            wizard = Run(session, "run-wizard", language_file=language_file)
            wizard.inspector.close()
            print("Termgate is open on your display; it ends with its own button.")
            return wizard.process.wait()
        wizard = Run(session, "run-wizard", language_file=language_file)
        try:
            walk_through(wizard)
        finally:
            wizard.finish()
        print(f"screenshots: {session.screenshot_dir()}")
        return 0
    finally:
        session.destroy()


def walk_through(wizard):
    inspector: Inspector = wizard.inspector
    inspector.wait("Form2", "visible")
    time.sleep(0.5)
    print(wizard.screenshot("welcome", "Form2"))
    inspector.click("Form2", "Command1")
    inspector.wait("Form3", "visible")
    time.sleep(0.5)
    print(wizard.screenshot("terms", "Form3"))
    inspector.click("Form3", "Option1")
    time.sleep(0.5)
    print(wizard.screenshot("accepted", "Form3"))
    inspector.click("Form3", "Command1")
    print(f"Termgate.exe ended with exit code {wizard.exit_code()}")


if __name__ == "__main__":
    sys.exit(main())
