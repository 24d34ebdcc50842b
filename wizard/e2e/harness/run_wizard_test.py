#!/usr/bin/env python3
"""tools/run-wizard as a user meets it, on the Termgate.exe of one build tree.

  run_wizard_test.py --tree BUILD_DIR

Usage errors end at once with one line and status 2; a headless decline in a prefix of an older
layout makes the prefix anew and unregisters both libraries; a second run (JP with its captions,
accept) keeps the prefix and changes nothing; Ctrl-C ends a run with status 130. After each run
nothing it started is left. Exits 77 (skipped) where this machine cannot run the build's programs.
"""

import argparse
import json
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from run_wizard import pe_arch  # noqa: E402
from wine_session import LAYOUT_FILE, WINE, cannot_run_32bit  # noqa: E402

RUN_WIZARD = Path(__file__).resolve().parents[3] / "tools" / "run-wizard"
SKIPPED = 77

# Arguments, and what the one line on standard error says.
USAGE_ERRORS = [
    (["--frobnicate"], "unrecognized arguments: --frobnicate"),
    (["JP"], "JP needs two captions"),
    (["JP", "同意する"], "JP needs two captions"),
    (["DE", "FR"], "one code only"),
    (["日本"], "'日本' cannot be written in code page 1252"),
    (["JP", "é", "x"], "'é' cannot be written in code page 932"),
    (["DE\nFR"], "holds a line break"),
    (["--decline", "DE"], "--decline walks a headless run"),  # DISPLAY is set for these
]
DECLINED = re.compile(r"^summary: Termgate\.exe exited with status 0; "
                      r"quillontoolbar1\.dll unregistered by C:\\windows\\\w+\\regsvr32\.exe, "
                      r"quillontoolbar2\.dll unregistered by C:\\windows\\\w+\\regsvr32\.exe$",
                      re.M | re.I)
UNCHANGED = ("summary: Termgate.exe exited with status 0; quillontoolbar1.dll not "
             "unregistered, quillontoolbar2.dll not unregistered")

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print(f"FAIL: {message}")
    return condition


def run_wizard(tree, *args, display=None, timeout=240):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    if display:
        env["DISPLAY"] = display
    return subprocess.run([RUN_WIZARD, "--tree", tree, *args], env=env, capture_output=True,
                          text=True, timeout=timeout, check=False)


def left_running(tree, output):
    """Processes of the run's prefix and its Xvfb that still run after it ended."""
    prefix = f"WINEPREFIX={tree / 'run-wizard' / 'prefix'}".encode()
    display = re.search(r"on display (:\d+)", output)
    xvfb = f"Xvfb\0{display.group(1)}\0".encode() if display else None
    found = []
    for proc in Path("/proc").iterdir():
        try:
            command = (proc / "cmdline").read_bytes()
            ours = (xvfb and command.startswith(xvfb)) or (
                os.readlink(proc / "exe").startswith(str(Path(WINE).parent))
                and prefix in (proc / "environ").read_bytes().split(b"\0"))
        except OSError:
            continue
        if ours:
            found.append(proc.name + ": " + command.replace(b"\0", b" ").decode())
    if (tree / "run-wizard" / "session.json").exists():
        found.append("session.json (the clean-up did not finish)")
    return found


def expect_clean_run(tree, result, what):
    print(f"--- {what}: exit {result.returncode}\n{result.stdout}{result.stderr}")
    check(result.returncode == 0, f"{what}: exit status {result.returncode}")
    left = left_running(tree, result.stdout)
    check(not left, f"{what}: left running: {left}")


def usage_errors(tree):
    for args, message in USAGE_ERRORS:
        started = time.monotonic()
        result = run_wizard(tree, *args, display=":0", timeout=30)
        lines = result.stderr.splitlines()
        check(result.returncode == 2 and result.stdout == "" and len(lines) == 1
              and message in lines[0] and time.monotonic() - started < 10,
              f"{args}: expected exit 2 and one line with {message!r}, got exit "
              f"{result.returncode}, {result.stdout!r}, {result.stderr!r}")


def decline_in_older_prefix(tree):
    prefix = tree / "run-wizard" / "prefix"
    if (prefix / LAYOUT_FILE).exists():
        (prefix / "drive_c" / "marker").write_text("")
        made = json.loads((prefix / LAYOUT_FILE).read_text())
        (prefix / LAYOUT_FILE).write_text(json.dumps({**made, "layout": made["layout"] - 1}))
    started = time.time()
    result = run_wizard(tree, "--headless", "--decline", "DE", display=":0")
    expect_clean_run(tree, result, "DE, decline, in an older prefix")
    check("Wine prefix made anew" in result.stdout and not (prefix / "drive_c" / "marker").exists(),
          "a prefix of an older layout was kept")
    check(DECLINED.search(result.stdout), "the summary does not tell both libraries unregistered "
          "by the system's regsvr32")
    shots = tree / "run-wizard" / "screenshots"
    for name in ("1-welcome", "2-terms", "3-confirmation", "4-notice"):
        shot = shots / f"DE-decline-{name}.png"
        check(shot.exists() and shot.stat().st_mtime >= started, f"{shot.name} not written")


def japanese_in_kept_prefix(tree):
    marker = tree / "run-wizard" / "prefix" / "drive_c" / "marker"
    marker.write_text("")
    result = run_wizard(tree, "--headless", "JP", "同意する", "同意しない")
    expect_clean_run(tree, result, "JP with captions, accept, second run")
    check("Wine prefix kept" in result.stdout and marker.exists(), "the prefix was made anew")
    check(UNCHANGED in result.stdout, "accepting changed the libraries or the exit status")
    marker.unlink(missing_ok=True)
    lang = tree / "run-wizard" / "prefix" / "drive_c" / "Kelvarn" / "Q-Harbor" / "Lang.ini"
    check(lang.read_bytes() == "JP\r\n同意する\r\n同意しない\r\n".encode("cp932"),
          "Lang.ini is not JP and the two captions in code page 932")


def interrupted(tree):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    with subprocess.Popen([RUN_WIZARD, "--tree", tree, "--decline", "NL"], env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                          start_new_session=True) as process:
        output = ""
        while "welcome" not in output and process.poll() is None:
            output += process.stdout.readline()
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGINT)  # as Ctrl-C in a terminal does
        rest, errors = process.communicate(timeout=60)
    output += rest
    print(f"--- Ctrl-C at the welcome window: exit {process.returncode}\n{output}{errors}")
    check(process.returncode == 130 and errors.splitlines() == [
        "run-wizard: interrupted; stopped everything it had started"],
          f"Ctrl-C: expected exit 130 and one line, got {process.returncode}, {errors!r}")
    left = left_running(tree, output)
    check(not left, f"Ctrl-C: left running: {left}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--tree", type=Path, required=True)
    tree = parser.parse_args().tree.resolve()
    if pe_arch(tree / "wizard" / "win32" / "Termgate.exe") == "x86" and cannot_run_32bit():
        print(f"skipped: this machine cannot run 32-bit Windows programs ({cannot_run_32bit()})")
        return SKIPPED
    usage_errors(tree)
    decline_in_older_prefix(tree)
    japanese_in_kept_prefix(tree)
    interrupted(tree)
    print(f"{len(failures)} failed" if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
