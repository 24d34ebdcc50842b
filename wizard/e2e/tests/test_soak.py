"""The decline-and-confirm path and the accept path, 25 times each from a fresh start: every
round ends as the first did, and leaves nothing running."""

import pytest

from driver.wizard import PROGRAMS

pytestmark = pytest.mark.once_per_machine

ROUNDS = [(number, path) for number in range(1, 26) for path in ("decline", "accept")]


@pytest.mark.parametrize("number, path", ROUNDS, ids=[f"{n}-{p}" for n, p in ROUNDS])
def test_round(start, wine, number, path):
    run = start(screenshots=None)
    run.welcome()
    run.next()
    if path == "decline":
        assert run.decline_to_the_end()[1] == 0
        assert sorted(run.unregistered()) == [1, 2]
    else:
        assert run.accept_to_the_end() == 0
        assert run.unregistered(both=False) == {}
    assert wine.wait_for_programs_to_end(PROGRAMS, 10) == []
