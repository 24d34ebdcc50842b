"""The driver itself, where a fault of its own would fail tests of the product: a process that
has ended is ended even before it is reaped, the display outlives its last client, and the
desktop keeper, with its desktop, outlives the ends of sessions."""

import subprocess

from driver.display import start_xvfb
from driver.processes import identity, is_running, stop_process
from driver.waiting import wait_until


def process_state(pid):
    stat = open(f"/proc/{pid}/stat", encoding="ascii").read()
    return stat[stat.rindex(")") + 2]


def test_a_process_that_ended_has_ended_before_it_is_reaped():
    child = subprocess.Popen(["cat"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
    saved = identity(child.pid)
    assert is_running(saved)
    child.stdin.close()
    wait_until(lambda: process_state(child.pid) == "Z", "cat to end, unreaped")
    assert identity(child.pid) is None
    assert not is_running(saved)
    child.wait()


def test_the_display_outlives_its_last_client():
    """A root window property set by one client is still there for the next: the server did not
    reset when the first left (a client connecting during a reset cannot open the display)."""
    display, server = start_xvfb("640x480")
    try:
        def xprop(*args):
            return subprocess.run(["xprop", "-display", display, "-root", *args],
                                  capture_output=True, text=True, check=True, timeout=30).stdout
        xprop("-f", "TERMGATE_MARK", "8s", "-set", "TERMGATE_MARK", "still here")
        assert xprop("TERMGATE_MARK") == 'TERMGATE_MARK(STRING) = "still here"\n'
    finally:
        stop_process(server)


def test_the_desktop_keeper_outlives_the_ends_of_sessions(wine):
    keeper = wine.state["desktop_keeper"]
    for _ in range(3):
        wine.end_session()
        assert is_running(keeper) and wine.state["desktop_keeper"] == keeper
        assert len(wine.running_programs(("explorer.exe /desktop",))) == 1
