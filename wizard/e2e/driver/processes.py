"""Linux processes that this package starts, told apart from later ones with the same id."""

import os
import signal
from pathlib import Path

from .waiting import Timeout, wait_until


def identity(pid):
    """What tells this process from a later one that gets the same id: its start time (in clock
    ticks since boot) and command line. None when no such process runs."""
    try:
        stat = Path(f"/proc/{pid}/stat").read_text()
        command = Path(f"/proc/{pid}/cmdline").read_bytes()
    except OSError:
        return None
    start = stat[stat.rindex(")") + 2:].split()[19]  # field 22; the name may hold blanks
    return {"pid": pid, "start": start, "cmdline": command.decode(errors="replace")}


def running(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    return True


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
    if saved and identity(saved["pid"]) == saved:
        stop_pid(saved["pid"])
