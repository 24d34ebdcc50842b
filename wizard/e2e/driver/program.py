"""What Termgate's own tool says about the wizard: `termgate-trace --describe`, read once. The
language codes and the windows' layouts come from here, never from a copy."""

import json
import subprocess
from functools import lru_cache
from pathlib import Path

REPO = Path(__file__).resolve().parents[3]
TRACE = REPO / "build" / "linux" / "wizard" / "scripted" / "termgate-trace"


@lru_cache(maxsize=None)
def describe(trace=TRACE):
    """The JSON of `termgate-trace --describe`. Raises FileNotFoundError, saying how to build
    the tool, when it is not built."""
    if not Path(trace).is_file():
        raise FileNotFoundError(f"{trace} is not built: cmake --preset linux && cmake --build "
                                "--preset linux --target termgate-trace")
    return json.loads(subprocess.run([str(trace), "--describe"], capture_output=True, text=True,
                                     check=True).stdout)


def codes(trace=TRACE):
    """The language codes the wizard knows, in its own order, each a dict with "code",
    "language" and which texts the code has."""
    return describe(trace)["codes"]


def form(name, trace=TRACE):
    return next(f for f in describe(trace)["forms"] if f["name"] == name)


def pixels(twips, dpi):
    """Twips to pixels the way Windows' MulDiv rounds: to nearest, halves away from zero."""
    return (twips * dpi + 720) // 1440

