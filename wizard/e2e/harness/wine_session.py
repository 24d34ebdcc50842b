"""A throwaway Wine prefix with a display, in which Termgate.exe and its test programs run.

The prefix is made once per test run in the build tree and reused by every scenario; each
scenario resets the few files it depends on. Everything started here is stopped by process id
(the X server) or by the prefix's own wineserver.
"""

import json
import os
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
SCREEN = "1920x1200"  # room for the windows at 144 dpi
DEFAULT_LOCALE = "en_US.UTF-8"


class Unsupported(Exception):
    """This machine cannot run the programs of this build (e.g. no 32-bit support)."""


def _free_display():
    for number in range(90, 200):
        if not Path(f"/tmp/.X11-unix/X{number}").exists() and not Path(f"/tmp/.X{number}-lock").exists():
            return number
    raise RuntimeError("no free X display number between :90 and :199")


def start_xvfb():
    """Starts Xvfb on a free display; returns (display, pid)."""
    number = _free_display()
    process = subprocess.Popen(
        ["Xvfb", f":{number}", "-screen", "0", f"{SCREEN}x24", "-nolisten", "tcp"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    socket = Path(f"/tmp/.X11-unix/X{number}")
    deadline = time.monotonic() + 10
    while not socket.exists():
        if process.poll() is not None or time.monotonic() > deadline:
            process.kill()
            raise RuntimeError(f"Xvfb did not start on :{number}")
        time.sleep(0.05)
    return f":{number}", process.pid


def stop_pid(pid):
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    for _ in range(50):
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return
        time.sleep(0.05)
    try:
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


class Session:
    """The prefix, display and programs of one test run, saved in a small JSON file."""

    def __init__(self, state):
        self.state = state
        self.prefix = Path(state["prefix"])
        self.tree = Path(state["tree"])
        self.arch = state["arch"]

    # --- creation and teardown -------------------------------------------------------------

    @classmethod
    def create(cls, state_file, tree, arch, dpi=96):
        if arch == "x86":
            # Wine runs 32-bit programs through its 32-bit loader; a kernel without 32-bit
            # emulation refuses it outright, which saves booting a prefix to find out.
            try:
                probe = subprocess.run([str(Path(WINE).with_name("wine")), "--version"],
                                       capture_output=True, check=False)
                reason = "" if probe.returncode == 0 else (
                    probe.stderr.decode(errors="replace").strip() or f"exit {probe.returncode}")
            except OSError as refused:
                reason = str(refused)
            if reason:
                state = {"unsupported": (
                    f"this machine cannot run 32-bit Windows programs ({reason}); the "
                    "windows-x64 build runs the same scenarios with the 64-bit build of the "
                    "same sources"), "prefix": "", "tree": str(tree), "arch": arch,
                    "display": "", "xvfb_pid": 0}
                Path(state_file).write_text(json.dumps(state, indent=1))
                return cls(state)
        tree = Path(tree).resolve()
        work = Path(state_file).resolve().parent
        prefix = work / "prefix"
        if Path(state_file).exists():
            try:
                cls.load(state_file).destroy()  # what an interrupted run left running
            except (OSError, ValueError, KeyError):
                pass
        if prefix.exists():
            shutil.rmtree(prefix)
        state = {"prefix": str(prefix), "tree": str(tree), "arch": arch, "dpi": dpi,
                 "display": os.environ.get("DISPLAY", ""), "xvfb_pid": 0, "unsupported": ""}
        if not state["display"] or os.environ.get("TERMGATE_E2E_OWN_DISPLAY"):
            state["display"], state["xvfb_pid"] = start_xvfb()
        session = cls(state)
        Path(state_file).write_text(json.dumps(state, indent=1))
        session._boot(dpi)
        try:
            session.check_architecture()
        except Unsupported as reason:
            state["unsupported"] = str(reason)
        Path(state_file).write_text(json.dumps(state, indent=1))
        return session

    @classmethod
    def load(cls, state_file):
        return cls(json.loads(Path(state_file).read_text()))

    def destroy(self):
        if self.state["prefix"]:
            subprocess.run([WINESERVER, "-k"], env=self.env(), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30, check=False)
            # Whatever the server did not take down (it cannot, once its prefix folder was
            # replaced) is found by the prefix in its environment and stopped by process id.
            for pid in self.prefix_processes():
                stop_pid(pid)
        if self.state.get("xvfb_pid"):
            stop_pid(self.state["xvfb_pid"])

    def prefix_processes(self):
        """Process ids of everything running in this prefix, the wine server included."""
        found = []
        for proc in Path("/proc").iterdir():
            if proc.name.isdigit() and int(proc.name) != os.getpid():
                try:
                    environ = (proc / "environ").read_bytes().split(b"\0")
                except OSError:
                    continue
                if f"WINEPREFIX={self.prefix}".encode() in environ:
                    found.append(int(proc.name))
        return found

    def _boot(self, dpi):
        env = self.env()
        subprocess.run([WINE, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=180, check=True)
        settings = [
            # Without a window manager, a virtual desktop gives windows their frames.
            (r"HKCU\Software\Wine\Explorer", "Desktop", "REG_SZ", "Default"),
            (r"HKCU\Software\Wine\Explorer\Desktops", "Default", "REG_SZ", SCREEN),
            # Liberation Serif has the metrics of Times New Roman.
            (r"HKCU\Software\Wine\Fonts\Replacements", "Times New Roman", "REG_SZ",
             "Liberation Serif"),
            (r"HKCU\Control Panel\Desktop", "LogPixels", "REG_DWORD", str(dpi)),
            (r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts",
             "LogPixels", "REG_DWORD", str(dpi)),
        ]
        for key, name, kind, value in settings:
            subprocess.run([WINE, "reg", "add", key, "/v", name, "/t", kind, "/d", value, "/f"],
                           env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=60, check=True)
        # Caption buttons are glyphs of Marlett, which Wine looks for among the prefix's fonts.
        marlett = Path("/usr/share/wine/fonts/marlett.ttf")
        if marlett.exists():
            shutil.copy2(marlett, self.drive_c / "windows" / "Fonts")
        subprocess.run([WINESERVER, "-w"], env=env, timeout=60, check=True)
        # A persistent server keeps later starts fast; it stays in the foreground, so it is
        # left running on its own, and destroy() ends it.
        subprocess.Popen([WINESERVER, "-f", "-p"], env=env, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, start_new_session=True)

    def set_dpi(self, dpi):
        """Changes the screen's DPI. Every Wine process reads it when it starts, so the
        prefix's processes are ended and its server restarted."""
        env = self.env()
        for key in (r"HKCU\Control Panel\Desktop",
                    r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts"):
            subprocess.run([WINE, "reg", "add", key, "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                            str(dpi), "/f"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60, check=True)
        subprocess.run([WINESERVER, "-k"], env=env, timeout=60, check=False)
        subprocess.run([WINESERVER, "-w"], env=env, timeout=60, check=False)
        subprocess.Popen([WINESERVER, "-f", "-p"], env=env, stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, start_new_session=True)

    def leftover_processes(self, names=("termgate.exe", "cmd.exe", "regsvr32.exe")):
        """Windows programs of this prefix that are still running, by name."""
        found = []
        for pid in self.prefix_processes():
            try:
                command = Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ").decode(
                    errors="replace")
            except OSError:
                continue
            lowered = command.lower()
            found += [f"{pid}: {command.strip()}" for name in names if name in lowered]
        return found

    def check_architecture(self):
        # Output goes to files, not pipes: the Wine services that a program starts inherit its
        # standard handles and would hold a pipe open long after the program has ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run([WINE, str(self.inspector_exe()), "window", "Form2"],
                                    env=self.env(), stdout=out, stderr=err, timeout=120,
                                    check=False)
            out.seek(0)
            err.seek(0)
            stdout, stderr = out.read(), err.read()
        if b'"ok":true' not in stdout:
            detail = (stderr.decode(errors="replace").strip().splitlines() or [""])[-1]
            raise Unsupported(
                f"the {self.arch} test programs do not run under Wine on this machine "
                f"(exit {result.returncode}: {detail}). A kernel without 32-bit emulation "
                "cannot run 32-bit Windows programs; the windows-x64 build runs the same "
                "scenarios with the 64-bit build of the same sources.")

    # --- paths ------------------------------------------------------------------------------

    def env(self, locale=DEFAULT_LOCALE):
        env = dict(os.environ)
        env.update({"WINEPREFIX": str(self.prefix), "WINEDEBUG": "-all",
                    "DISPLAY": self.state["display"], "LC_ALL": locale, "LANG": locale,
                    "WINEDLLOVERRIDES": "winemenubuilder.exe=d"})
        return env

    @property
    def drive_c(self):
        return self.prefix / "drive_c"

    def program_files(self):
        """Where %programfiles% points for a program of this build's architecture."""
        return self.drive_c / ("Program Files (x86)" if self.arch == "x86" else "Program Files")

    def termgate_exe(self):
        return self.tree / "wizard" / "win32" / "Termgate.exe"

    def inspector_exe(self):
        return self.tree / "wizard" / "e2e" / "window_spy" / "window_spy.exe"

    def e2e_dir(self):
        return self.tree / "wizard" / "e2e"

    def screenshot_dir(self):
        path = self.tree / "e2e-screenshots"
        path.mkdir(exist_ok=True)
        return path

    # --- running ----------------------------------------------------------------------------

    def start(self, exe, args=(), cwd=None, locale=DEFAULT_LOCALE, talk=False):
        """Starts a Windows program. With `talk`, its standard input and output are pipes;
        otherwise its output goes to the session's log, where no reader is needed."""
        log = open(self.prefix.parent / "wine.log", "ab")  # pylint: disable=consider-using-with
        pipe = subprocess.PIPE if talk else log
        try:
            return subprocess.Popen([WINE, str(exe), *args], cwd=cwd, env=self.env(locale),
                                    stdin=subprocess.PIPE if talk else subprocess.DEVNULL,
                                    stdout=pipe, stderr=log)
        finally:
            log.close()

    def screenshot(self, name, rect=None):
        """Saves the screen, or the part `rect` = [l, t, r, b] of it, as a PNG."""
        target = self.screenshot_dir() / f"{name}.png"
        command = ["import", "-display", self.state["display"], "-window", "root"]
        if rect:
            left, top, right, bottom = rect
            command += ["-crop", f"{right - left}x{bottom - top}+{left}+{top}", "+repage"]
        subprocess.run(command + [str(target)], timeout=30, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return target

    def kill_windows_programs(self):
        """Ends whatever a failed scenario left running in the prefix, keeping the server."""
        subprocess.run([WINE, "taskkill", "/f", "/im", "Termgate.exe"], env=self.env(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30,
                       check=False)
