"""The end-to-end suite's fixtures: one Wine prefix and display for the whole session, runs of
Termgate.exe that are cleaned up after each test, and a report of what Wine saw when one fails.

    python3 -m pytest wizard/e2e [--tree BUILD_DIR] [--termgate EXE] [--termgate-trace PATH]

The tree defaults to build/windows, or build/windows-x64 where this machine cannot run 32-bit
Windows programs; there every test is skipped for a 32-bit tree, and the run exits with 77.
"""

import re
import sys
from pathlib import Path

import pytest

E2E = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(E2E))
# The tests' own helper module: its asserts show both sides when they fail, as a test's do.
pytest.register_assert_rewrite("layout")

from driver import program  # noqa: E402
from driver.wine import Prefix, Unsupported, cannot_run_32bit, pe_arch  # noqa: E402
from driver.wizard import BuildTree, Run  # noqa: E402

REPO = E2E.parents[1]
SKIPPED = 77
# The part of a failed test's report that tells what Termgate and the prefix were doing.
REPORT_SECTION = "Termgate on Wine"


def pytest_addoption(parser):
    group = parser.getgroup("termgate")
    group.addoption("--tree", help="the Windows build tree whose programs run (default: "
                    "build/windows, or build/windows-x64 without 32-bit support)")
    group.addoption("--termgate", help="a Termgate.exe to run instead of the tree's")
    group.addoption("--termgate-trace", default=str(program.TRACE),
                    help="termgate-trace, which describes the wizard's codes and layouts")


def pytest_configure(config):
    config.termgate_unsupported = ""


def pytest_collection_modifyitems(config, items):
    """The soak and the caption matrix run on one build per machine: the product's 32-bit one
    where it runs, so that the 64-bit stand-in does not repeat them."""
    termgate = BuildTree(config.getoption("tree") or REPO, config.getoption("termgate")).termgate
    if termgate.exists() and pe_arch(termgate) == "x64" and not cannot_run_32bit():
        skip = pytest.mark.skip(reason="run on the 32-bit build, which this machine runs")
        for item in items:
            if "once_per_machine" in item.keywords:
                item.add_marker(skip)


@pytest.fixture(scope="session")
def tree(pytestconfig):
    path = pytestconfig.getoption("tree") or \
        REPO / "build" / ("windows-x64" if cannot_run_32bit() else "windows")
    return BuildTree(path, pytestconfig.getoption("termgate"))


@pytest.fixture(scope="session")
def wine(tree, pytestconfig):
    """The prefix and display of the whole session, its desktop kept open."""
    try:
        prefix = Prefix.create(tree.path / "e2e-session" / "session.json",
                               pe_arch(tree.termgate))
    except Unsupported as reason:
        pytestconfig.termgate_unsupported = str(reason)
        pytest.skip(f"{reason}; the windows-x64 build runs the same tests with the 64-bit "
                    "build of the same sources")
    prefix.keep_desktop(tree.desktop_keeper)
    yield prefix
    prefix.destroy()


@pytest.fixture
def screenshots(tree):
    return tree.path / "e2e-screenshots"


@pytest.fixture
def start(wine, tree, screenshots, request):
    """Starts Termgate.exe in the prefix: start(language_file=..., ...) takes Run's options;
    what a test starts is stopped after it."""
    runs = []
    request.node.termgate = {"prefix": wine, "runs": runs, "log_from": wine.log_size(),
                             "screenshots": screenshots}
    name = re.sub(r"[^\w.-]+", "-", request.node.name).strip("-")

    def start_run(**options):
        options.setdefault("screenshots", screenshots)
        run = Run(wine, tree, f"{name}-{len(runs) + 1}" if runs else name, **options)
        runs.append(run)
        return run

    yield start_run
    for run in runs:
        run.finish()


def top_level_windows(runs):
    """Every top-level window of the desktop, as a live window_spy of the test sees them (a box
    of another program's that waits for a person, say)."""
    for run in reversed(runs):
        try:
            listing = run.spy.must("windows", timeout=10)
        except Exception:  # pylint: disable=broad-except
            continue
        return ["Top-level windows (* in the foreground):"] + [
            f"  {w['image']} {w['pid']}: {w['className']} {w['title']!r}"
            f"{'' if w['visible'] else ' (hidden)'}"
            f"{' *' if w['hwnd'] == listing['foreground'] else ''}" for w in listing["windows"]]
    return []


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    """A failed test tells how each Termgate.exe it started had ended, what still runs in the
    prefix, its windows, and what Wine logged meanwhile, with a screenshot of the screen as it
    was."""
    outcome = yield
    report = outcome.get_result()
    watched = getattr(item, "termgate", None)
    if report.when != "call" or not report.failed or watched is None:
        return
    prefix = watched["prefix"]
    lines = [f"{run.name}: Termgate.exe {run.ended()}" for run in watched["runs"]]
    lines.append("Windows programs running in the prefix:")
    lines += [f"  {program}" for program in prefix.running_programs()]
    lines += top_level_windows(watched["runs"])
    logged = prefix.log_since(watched["log_from"])
    lines.append(f"Wine's log since the test began ({len(logged)} lines, the last 40):")
    lines += [f"  {line}" for line in logged[-40:]]
    try:
        watched["screenshots"].mkdir(parents=True, exist_ok=True)
        # A name as the run's screenshots have it: ImageMagick reads brackets as a frame index.
        name = re.sub(r"[^\w.-]+", "-", item.name).strip("-")
        shot = prefix.screenshot(watched["screenshots"] / f"{name}-failure.png")
        lines.append(f"screenshot: {shot}")
    except Exception as failure:  # pylint: disable=broad-except
        lines.append(f"no screenshot: {failure}")
    report.sections.append((REPORT_SECTION, "\n".join(lines)))


def pytest_sessionfinish(session, exitstatus):
    """Skipped for want of 32-bit support is skipped for CTest too."""
    if session.config.termgate_unsupported and exitstatus == pytest.ExitCode.OK:
        session.exitstatus = SKIPPED
