"""The X display the Windows programs draw on: a private Xvfb or the caller's; screenshots and a
real mouse on it."""

import os
import re
import subprocess
from pathlib import Path

from .processes import identity
from .waiting import Timeout, wait_until


def _free_display():
    for number in range(90, 200):
        if not Path(f"/tmp/.X11-unix/X{number}").exists() and \
                not Path(f"/tmp/.X{number}-lock").exists():
            return number
    raise RuntimeError("no free X display number between :90 and :199")


def start_xvfb(screen, log=os.devnull):
    """Starts Xvfb with one `screen` ("WIDTHxHEIGHT") on a free display, its messages appended
    to the file `log`; returns the display name and the server's identity()."""
    number = _free_display()
    with open(log, "ab") as messages:
        process = subprocess.Popen(
            # -noreset: without it the server resets when its last client leaves, and a client
            # that connects at that moment cannot open the display.
            ["Xvfb", f":{number}", "-screen", "0", f"{screen}x24", "-nolisten", "tcp",
             "-noreset"],
            stdout=subprocess.DEVNULL, stderr=messages, start_new_session=True)
    try:
        wait_until(lambda: Path(f"/tmp/.X11-unix/X{number}").exists() or
                   process.poll() is not None, f"Xvfb on :{number}", timeout=10)
    except Timeout:
        pass
    if process.poll() is not None or not Path(f"/tmp/.X11-unix/X{number}").exists():
        process.kill()
        raise RuntimeError(f"Xvfb did not start on :{number}")
    return f":{number}", identity(process.pid)


def _x_client(command, env=None):
    """Runs an X client to its end; its output, or an error that tells what it said."""
    done = subprocess.run(command, capture_output=True, text=True, timeout=30, env=env,
                          check=False)
    if done.returncode != 0:
        raise RuntimeError(f"{command[0]} failed ({done.returncode}): {done.stderr.strip()}")
    return done.stdout


def screenshot(display, target, rect=None, settled=False):
    """Saves the screen, or the part `rect` = [left, top, right, bottom] of it, as a PNG. With
    `settled`, only once two captures in a row are the same: what was just shown has been
    drawn."""
    command = ["import", "-display", display, "-window", "root"]
    if rect:
        left, top, right, bottom = rect
        command += ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage"]
    command += ["-strip", str(target)]  # no time stamps: equal pictures give equal files

    def capture():
        _x_client(command)
        return Path(target).read_bytes()

    last = capture()
    if settled:
        def same_again():
            nonlocal last
            previous, last = last, capture()
            return previous == last
        wait_until(same_again, f"the screen to settle for {Path(target).name}", timeout=10)
    return target


def pixel(display, x, y):
    """The colour of the screen at (x, y), as "#RRGGBB"."""
    shown = _x_client(["import", "-display", display, "-window", "root", "-crop",
                       f"1x1+{x}+{y}", "-depth", "8", "txt:-"])
    return re.search(r"#[0-9A-Fa-f]{6}", shown).group(0).upper()


def xdotool(display, *args):
    """Real input on the display, as a keyboard or mouse makes it: `xdotool ARGS...`."""
    _x_client(["xdotool", *map(str, args)], env=dict(os.environ, DISPLAY=display))


def click(display, x, y):
    """A real click of the left mouse button at screen position (x, y)."""
    xdotool(display, "mousemove", "--sync", x, y, "click", "1")
