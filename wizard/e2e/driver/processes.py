"""Linux processes that this package starts, told apart from later ones with the same id."""

import os
import signal
from pathlib import Path

from .waiting import Timeout, wait_until


def identity(pid):
    """What tells this process from a later one that gets the same id: its id and its start time
    (in clock ticks since boot). None when no such process runs: an ended process that its parent
    has not reaped yet (a zombie) has ended too."""
    try:
        stat = Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return None
    fields = stat[stat.rindex(")") + 2:].split()  # the name may hold blanks and parentheses
    state, start = fields[0], fields[19]  # fields 3 and 22
    if state in ("Z", "X"):
        return None
    return {"pid": pid, "start": start}


def is_running(saved):
    """Whether the process that `saved` (from identity()) describes still runs; a later process
    with the same id is another one."""
    return bool(saved) and identity(saved["pid"]) == {"pid": saved["pid"],
                                                       "start": saved.get("start")}


def running(pid):
    return identity(pid) is not None


def clock_ticks_since_boot():
    """Now, in the unit of a process's start time."""
    return round(float(Path("/proc/uptime").read_text().split()[0]) * os.sysconf("SC_CLK_TCK"))


def started_by(pid, ticks):
    """Whether process `pid` runs and started no later than `ticks` (from
    clock_ticks_since_boot()): the very process that had this id then, not a later one."""
    now = identity(pid)
    return now is not None and int(now["start"]) <= ticks


def stop_pid(pid):
    """SIGTERM, then SIGKILL if the process is still there after 2.5 s."""
    try:
        os.kill(pid, signal.SIGTERM)
        wait_until(lambda: not running(pid), f"process {pid} to end", timeout=2.5)
    except ProcessLookupError:
        pass
    except Timeout:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


def stop_process(saved):
    """Stops the process that `saved` (from identity()) describes, if it still runs; a process
    that has since taken its id is left alone."""
    if is_running(saved):
        stop_pid(saved["pid"])


def wait_for_end(saved, what, timeout=30):
    """Waits until the process that `saved` describes has ended."""
    wait_until(lambda: not is_running(saved), f"{what} to end", timeout=timeout)
