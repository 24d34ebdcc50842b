#!/usr/bin/python3
"""Runs host_tests.exe under Wine, in a prefix and on an Xvfb display of its own, for CTest.

    run_host_tests.py HOST_TESTS_EXE STATE_FILE EXPECTED_LAYOUT

The prefix is made beside STATE_FILE (the e2e driver's state of it) and taken down again
afterwards, whatever happened. EXPECTED_LAYOUT, the table of where the controls must be, is
handed to the program as a path on Wine's drive Z:, which is the root. Prints the program's
output and exits with its status; exits with 77, which CTest reports as skipped, where this
machine cannot run the program's architecture (32-bit programs without 32-bit support in the
kernel).
"""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "e2e"))

from driver.wine import Prefix, Unsupported, pe_arch  # noqa: E402

SKIPPED = 77
# Creating the windows and their browser controls takes seconds; a hang must still end the run.
RUN_TIMEOUT = 180


def main(argv):
    if len(argv) != 4:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    exe, state_file = Path(argv[1]).resolve(), Path(argv[2])
    layout = "Z:" + str(Path(argv[3]).resolve()).replace("/", "\\")
    try:
        # display "": an Xvfb of its own, so the run needs no display and disturbs none.
        prefix = Prefix.create(state_file, pe_arch(exe), display="")
    except Unsupported as reason:
        print(f"skipped: {reason}")
        return SKIPPED
    try:
        code, output = prefix.run(exe, [layout], timeout=RUN_TIMEOUT)
    finally:
        prefix.destroy()
    print(output, end="")
    print(f"host_tests.exe exited with {code}")
    # A program that dies with a status whose low byte is 77 has failed, not been skipped.
    return 1 if code == SKIPPED else code


if __name__ == "__main__":
    sys.exit(main(sys.argv))
