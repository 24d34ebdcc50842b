#!/usr/bin/env python3
"""End-to-end tests of Termgate.exe on Wine.

  e2e.py setup   --state FILE --tree BUILD_DIR --arch x86|x64   makes the prefix and display
  e2e.py run     --state FILE SCENARIO                           runs one scenario
  e2e.py cleanup --state FILE                                    stops what setup started
  e2e.py list                                                    names the scenarios

A scenario that this machine cannot run (32-bit programs on a kernel without 32-bit emulation)
exits with 77, which CTest reports as skipped.
"""

import argparse
import json
import sys
import time
import traceback
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from scenarios import SCENARIOS  # noqa: E402
from wine_session import Session  # noqa: E402

SKIPPED = 77


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("command", choices=["setup", "run", "cleanup", "list"])
    parser.add_argument("scenario", nargs="?")
    parser.add_argument("--state")
    parser.add_argument("--tree")
    parser.add_argument("--arch", choices=["x86", "x64"])
    parser.add_argument("--dpi", type=int, default=96)
    args = parser.parse_args()

    if args.command == "list":
        print(";".join(SCENARIOS))
        return 0
    if args.command == "setup":
        started = time.monotonic()
        session = Session.create(args.state, args.tree, args.arch, args.dpi)
        if not session.state["unsupported"]:
            session.keep_desktop()
            Path(args.state).write_text(json.dumps(session.state, indent=1))
        print(f"prefix {session.prefix} on display {session.state['display']} "
              f"ready in {time.monotonic() - started:.1f} s")
        if session.state["unsupported"]:
            print(f"scenarios will be skipped: {session.state['unsupported']}")
        return 0
    session = Session.load(args.state)
    if args.command == "cleanup":
        session.destroy()
        return 0
    if session.state["unsupported"]:
        print(f"skipped: {session.state['unsupported']}")
        return SKIPPED
    started = time.monotonic()
    log_from = session.log_size()
    try:
        SCENARIOS[args.scenario](session)
    except Exception:  # pylint: disable=broad-except
        traceback.print_exc()
        for line in session.ended_runs:
            print(line, file=sys.stderr)
        print(session.report(log_from), file=sys.stderr)
        print(f"FAILED after {time.monotonic() - started:.1f} s; screenshots in "
              f"{session.screenshot_dir()}")
        session.screenshot(f"{args.scenario}-failure")
        return 1
    print(f"passed in {time.monotonic() - started:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
