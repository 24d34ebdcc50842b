"""Waiting on conditions: the one way this package waits."""

import time


class Timeout(AssertionError):
    """A condition did not come about in time."""


def wait_until(condition, what, timeout=15.0):
    """Asks `condition` until it returns something true, and returns that; raises Timeout,
    naming `what`, once `timeout` seconds have passed."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Timeout(f"timed out after {timeout:g} s waiting for {what}")
        time.sleep(0.05)
