"""tools/run-wizard as a user meets it, on this tree's Termgate.exe: usage errors end at once
with one line; a headless decline in a prefix of an older layout, or a broken one, makes the
prefix anew and unregisters both libraries; a kept prefix is used again; a decline is walked on
a person's display, and a window is noted only when it does not fit; a code of any length keeps
file names short; Ctrl-C ends a run with status 130. After each run nothing it started is left
running."""

import json
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

from driver.display import start_xvfb
from driver.program import codes
from driver.processes import clock_ticks_since_boot, started_by, stop_process
from driver.wine import LAYOUT_FILE, Prefix, cannot_run_32bit, pe_arch

RUN_WIZARD = Path(__file__).resolve().parents[3] / "tools" / "run-wizard"

USAGE_ERRORS = {
    "an unknown option": (["--frobnicate"], "unrecognized arguments: --frobnicate"),
    "JP without captions": (["JP"], "JP needs two captions"),
    "JP with one caption": (["JP", "同意する"], "JP needs two captions"),
    "two codes": (["DE", "FR"], "one code only"),
    "a code code page 1252 cannot hold": (["日本"], "'日本' cannot be written in code page 1252"),
    "a caption code page 932 cannot hold": (["JP", "é", "x"],
                                            "'é' cannot be written in code page 932"),
    "a line break": (["DE\nFR"], "holds a line break"),
}
DECLINED = re.compile(r"^summary: Termgate\.exe exited with status 0; "
                      r"quillontoolbar1\.dll unregistered by C:\\windows\\\w+\\regsvr32\.exe, "
                      r"quillontoolbar2\.dll unregistered by C:\\windows\\\w+\\regsvr32\.exe$",
                      re.M | re.I)
UNCHANGED = ("summary: Termgate.exe exited with status 0; quillontoolbar1.dll not "
             "unregistered, quillontoolbar2.dll not unregistered")


@pytest.fixture(scope="module")
def work(tree):
    """run-wizard's folder in the tree; the module skips where the tree's programs cannot run."""
    if pe_arch(tree.termgate) == "x86" and (reason := cannot_run_32bit()):
        pytest.skip(f"this machine cannot run 32-bit Windows programs ({reason})")
    return tree.path / "run-wizard"


def run_wizard(tree, *args, display=None, timeout=240):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    if display:
        env["DISPLAY"] = display
    return subprocess.run([RUN_WIZARD, "--tree", tree.path, *args], env=env,
                          capture_output=True, text=True, timeout=timeout, check=False)


def left_running(work, output, ended):
    """What the run started that still runs: its prefix's processes, and the Xvfb it names by
    process id, if that process still runs and had started by the time the run `ended`
    (clock_ticks_since_boot()), so that it is the run's and no later process with the same id."""
    found = [str(pid) for pid in Prefix({"prefix": work / "prefix", "arch": None},
                                        work / "session.json").prefix_processes()]
    xvfb = re.search(r"Xvfb process (\d+)", output)
    if xvfb and started_by(int(xvfb.group(1)), ended):
        found.append(f"Xvfb {xvfb.group(1)}")
    if (work / "session.json").exists():
        found.append("session.json (the clean-up did not finish)")
    return found


def run_and_left_running(tree, work, *args, display=None, timeout=240):
    """Runs run-wizard; returns its result and what it left running."""
    result = run_wizard(tree, *args, display=display, timeout=timeout)
    ended = clock_ticks_since_boot()
    return result, left_running(work, result.stdout, ended)


@pytest.fixture
def kept_prefix(tree, work):
    """A prefix that an earlier run left, made by a headless run if there is none."""
    if not (work / "prefix" / LAYOUT_FILE).exists():
        assert run_wizard(tree, "--headless").returncode == 0
    return work / "prefix"


def test_the_usage_lists_the_codes_also_before_termgate_trace_is_built(pytestconfig):
    """What --help reads from the sources when termgate-trace is not built is what the tool
    describes."""
    sys.path.insert(0, str(RUN_WIZARD.parent))
    from run_wizard import codes_from_the_source  # pylint: disable=import-outside-toplevel
    assert codes_from_the_source() == [
        {key: code[key] for key in ("code", "language", "optionCaptionsFromFile")}
        for code in codes(pytestconfig.getoption("termgate_trace"))]


@pytest.mark.parametrize("case", USAGE_ERRORS)
def test_a_usage_error_ends_at_once_with_one_line(tree, case):
    args, message = USAGE_ERRORS[case]
    result = run_wizard(tree, *args, display=":0", timeout=30)
    assert (result.returncode, result.stdout) == (2, "")
    assert len(result.stderr.splitlines()) == 1 and message in result.stderr, result.stderr


def test_a_headless_decline_in_an_older_prefix_makes_it_anew(tree, work, kept_prefix):
    (kept_prefix / "drive_c" / "marker").write_text("")
    made = json.loads((kept_prefix / LAYOUT_FILE).read_text())
    (kept_prefix / LAYOUT_FILE).write_text(json.dumps({**made, "layout": made["layout"] - 1}))
    started = time.time()
    result, left = run_and_left_running(tree, work, "--headless", "--decline", "DE")
    assert result.returncode == 0, result.stdout + result.stderr
    assert left == []
    assert "Wine prefix made anew (it was made by an older layout of this tool)" in result.stdout
    assert not (kept_prefix / "drive_c" / "marker").exists()
    assert DECLINED.search(result.stdout), result.stdout
    shots = work / "screenshots"
    for name in ("1-welcome", "2-terms", "3-confirmation", "4-notice"):
        assert (shots / f"DE-decline-{name}.png").stat().st_mtime >= started


def test_japanese_captions_in_a_kept_prefix(tree, work, kept_prefix):
    marker = kept_prefix / "drive_c" / "marker"
    marker.write_text("")
    result, left = run_and_left_running(tree, work, "--headless", "JP", "同意する",
                                        "同意しない")
    assert result.returncode == 0, result.stdout + result.stderr
    assert left == []
    assert "Wine prefix kept" in result.stdout and marker.exists()
    assert UNCHANGED in result.stdout
    lang = kept_prefix / "drive_c" / "Kelvarn" / "Q-Harbor" / "Lang.ini"
    assert lang.read_bytes() == "JP\r\n同意する\r\n同意しない\r\n".encode("cp932")


def test_ctrl_c_stops_everything_it_started(tree, work):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    with subprocess.Popen([RUN_WIZARD, "--tree", tree.path, "--decline", "NL"], env=env,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                          start_new_session=True) as process:
        output = ""
        while "welcome" not in output and process.poll() is None:
            output += process.stdout.readline()
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGINT)  # as Ctrl-C in a terminal does
        rest, errors = process.communicate(timeout=60)
    ended = clock_ticks_since_boot()
    assert process.returncode == 130
    assert errors.splitlines() == ["run-wizard: interrupted; stopped everything it had started"]
    assert left_running(work, output + rest, ended) == []


def test_a_broken_kept_prefix_is_made_anew(tree, work, kept_prefix):
    (kept_prefix / "system.reg").write_bytes(b"")
    result = run_wizard(tree, "--headless", "NO")
    assert result.returncode == 0, result.stdout + result.stderr
    assert "Wine prefix made anew (it was broken: a registry file" in result.stdout
    assert UNCHANGED in result.stdout


@pytest.mark.parametrize("screen, fits", [("1366x768", True), ("1024x600", False)])
def test_a_decline_walked_on_a_persons_display(tree, work, kept_prefix, screen, fits):
    """As the README shows it: `tools/run-wizard --decline DE` with a display set."""
    display, server = start_xvfb(screen)
    try:
        result, left = run_and_left_running(tree, work, "--decline", "DE", display=display)
    finally:
        stop_process(server)
    assert result.returncode == 0, result.stdout + result.stderr
    assert DECLINED.search(result.stdout), result.stdout
    assert ("does not fit whole" not in result.stderr) == fits, result.stderr
    assert left == []


def test_a_code_of_any_length_keeps_file_names_short(tree, work, kept_prefix):
    code = "X" * 300
    result = run_wizard(tree, "--headless", code)
    assert result.returncode == 0, result.stdout + result.stderr
    assert UNCHANGED in result.stdout
    shots = [line for line in result.stdout.splitlines() if line.endswith(".png") or
             ".png (" in line]
    assert shots and all(len(Path(line.split(" (")[0]).name) < 64 for line in shots), shots
    lang = kept_prefix / "drive_c" / "Kelvarn" / "Q-Harbor" / "Lang.ini"
    assert lang.read_bytes() == code.encode() + b"\r\n"
