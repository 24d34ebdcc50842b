"""A Wine prefix with a display, in which Termgate.exe and its test programs run.

The prefix is made once per test run in the build tree and reused by every scenario; each
scenario resets the few files it depends on. tools/run-wizard keeps its prefix from one run to the
next instead. Everything started here is stopped by the prefix's own wineserver, or by process id
once that process is shown to be the one this session started.
"""

import json
import os
import re
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
# What a kept prefix must have been made with; raise LAYOUT whenever _boot changes what it sets.
LAYOUT = 1
LAYOUT_FILE = "termgate_layout.json"
FONT_LINKS = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink"
CJK_FONT = "ipag.ttf,IPAGothic"
DESKTOP_KEY = "[Software\\\\Wine\\\\Explorer\\\\Desktops]"


class Unsupported(Exception):
    """This machine cannot run the programs of this build (e.g. no 32-bit support)."""


def _free_display():
    for number in range(90, 200):
        if not Path(f"/tmp/.X11-unix/X{number}").exists() and not Path(f"/tmp/.X{number}-lock").exists():
            return number
    raise RuntimeError("no free X display number between :90 and :199")


def start_xvfb(screen=SCREEN):
    """Starts Xvfb on a free display; returns (display, pid)."""
    number = _free_display()
    process = subprocess.Popen(
        ["Xvfb", f":{number}", "-screen", "0", f"{screen}x24", "-nolisten", "tcp"],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    socket = Path(f"/tmp/.X11-unix/X{number}")
    deadline = time.monotonic() + 10
    while not socket.exists():
        if process.poll() is not None or time.monotonic() > deadline:
            process.kill()
            raise RuntimeError(f"Xvfb did not start on :{number}")
        time.sleep(0.05)
    return f":{number}", process.pid


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


def stop_process(saved):
    """Stops the process that `saved` (from identity()) describes, if it still runs; a process
    that has since taken its id is left alone."""
    if saved and identity(saved["pid"]) == saved:
        stop_pid(saved["pid"])


def wine_version():
    return subprocess.run([WINE, "--version"], capture_output=True, text=True,
                          check=False).stdout.strip()


def cannot_run_32bit():
    """Why this machine cannot run 32-bit Windows programs, or "" when it can. Wine runs them
    through its 32-bit loader, which a kernel without 32-bit emulation refuses outright."""
    try:
        probe = subprocess.run([str(Path(WINE).with_name("wine")), "--version"],
                               capture_output=True, check=False)
    except OSError as refused:
        return str(refused)
    if probe.returncode == 0:
        return ""
    return probe.stderr.decode(errors="replace").strip() or f"exit {probe.returncode}"


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

    # Whether the Windows programs get a process group of their own, out of reach of a Ctrl-C
    # meant for the script that started them (which then stops them itself).
    detach = False

    def __init__(self, state):
        self.state = state
        self.prefix = Path(state["prefix"])
        self.tree = Path(state["tree"])
        self.arch = state["arch"]
        self.ended_runs = []  # how each program a scenario started had ended, for its report

    # --- creation and teardown -------------------------------------------------------------

    @classmethod
    def create(cls, state_file, tree, arch, dpi=96, screen=SCREEN, display=None, keep=False):
        """Makes the prefix and finds or starts the display. `display` "" asks for an Xvfb of
        `screen` size; None takes $DISPLAY. With `keep`, a whole prefix that an earlier session
        made with the same layout, Wine, architecture and DPI is used again, its virtual desktop
        set to `screen`; otherwise the prefix is made anew. state["kept"] tells which."""
        if arch == "x86":
            reason = cannot_run_32bit()
            if reason:
                state = {"unsupported": (
                    f"this machine cannot run 32-bit Windows programs ({reason}); the "
                    "windows-x64 build runs the same scenarios with the 64-bit build of the "
                    "same sources"), "prefix": "", "tree": str(tree), "arch": arch,
                    "display": "", "xvfb": None}
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
        if display is None:
            display = "" if os.environ.get("TERMGATE_E2E_OWN_DISPLAY") else os.environ.get(
                "DISPLAY", "")
        state = {"prefix": str(prefix), "tree": str(tree), "arch": arch, "dpi": dpi,
                 "display": display, "xvfb": None, "unsupported": "", "kept": False}
        session = cls(state)
        if not display:
            state["display"], pid = start_xvfb(screen)
            state["xvfb"] = identity(pid)
        Path(state_file).write_text(json.dumps(state, indent=1))
        if keep and session._layout() == session._wanted_layout() and session._set_desktop(screen):
            state["kept"] = True
            session._start_server()
        else:
            if prefix.exists():
                shutil.rmtree(prefix)
            session._boot(dpi, screen)
            try:
                session.check_architecture()
                (prefix / LAYOUT_FILE).write_text(json.dumps(session._wanted_layout()))
            except Unsupported as reason:
                state["unsupported"] = str(reason)
        Path(state_file).write_text(json.dumps(state, indent=1))
        return session

    def _wanted_layout(self):
        return {"layout": LAYOUT, "wine": wine_version(), "arch": self.arch,
                "dpi": self.state["dpi"]}

    def _layout(self):
        """The layout a whole prefix was made with; None for a missing or broken one."""
        try:
            made = json.loads((self.prefix / LAYOUT_FILE).read_text())
        except (OSError, ValueError):
            return None
        whole = all((self.prefix / part).exists() for part in (
            "system.reg", "user.reg", "userdef.reg", "drive_c/windows/system32/kernel32.dll"))
        return made if whole else None

    def _set_desktop(self, screen):
        """Sizes the virtual desktop in the prefix's registry file, which the wineserver reads
        when it starts: faster than a `wine reg` call, and no desktop gets made at the old size
        on the way. False when the file does not hold the setting _boot made."""
        registry = self.prefix / "user.reg"
        lines = registry.read_text(encoding="latin-1").split("\n")
        section = next((i for i, line in enumerate(lines)
                        if line == DESKTOP_KEY or line.startswith(DESKTOP_KEY + " ")), None)
        if section is None:
            return False
        for i in range(section + 1, len(lines)):
            if lines[i].startswith("["):
                return False
            if re.fullmatch(r'"Default"="\d+x\d+"', lines[i]):
                lines[i] = f'"Default"="{screen}"'
                registry.write_text("\n".join(lines), encoding="latin-1")
                return True
        return False

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
        stop_process(self.state.get("xvfb"))

    def prefix_processes(self):
        """Process ids of everything running in this prefix, the wine server included: Wine's
        own programs whose environment names the prefix. A shell or tool that merely has
        WINEPREFIX set is no program of the prefix."""
        found = []
        wine_dir = str(Path(WINE).parent) + "/"
        for proc in Path("/proc").iterdir():
            if proc.name.isdigit() and int(proc.name) != os.getpid():
                try:
                    if not os.readlink(proc / "exe").startswith(wine_dir):
                        continue
                    environ = (proc / "environ").read_bytes().split(b"\0")
                except OSError:
                    continue
                if f"WINEPREFIX={self.prefix}".encode() in environ:
                    found.append(int(proc.name))
        return found

    def _boot(self, dpi, screen=SCREEN):
        env = self.env()
        subprocess.run([WINE, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=180, check=True)
        settings = [
            # Without a window manager, a virtual desktop gives windows their frames.
            (r"HKCU\Software\Wine\Explorer", "Desktop", "REG_SZ", "Default"),
            (r"HKCU\Software\Wine\Explorer\Desktops", "Default", "REG_SZ", screen),
            # Liberation Serif has the metrics of Times New Roman.
            (r"HKCU\Software\Wine\Fonts\Replacements", "Times New Roman", "REG_SZ",
             "Liberation Serif"),
            # Japanese captions in that font draw with a CJK font (fonts-ipafont-gothic), as a
            # Japanese Windows links its fonts to MS UI Gothic. Wine looks a link up by the name
            # of the face it chose, so the bold face needs its own.
            (FONT_LINKS, "Liberation Serif", "REG_MULTI_SZ", CJK_FONT),
            (FONT_LINKS, "Liberation Serif Bold", "REG_MULTI_SZ", CJK_FONT),
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
        self._start_server()

    def _start_server(self):
        # A persistent server keeps later starts fast; it stays in the foreground, so it is
        # left running on its own, and destroy() ends it.
        subprocess.Popen([WINESERVER, "-f", "-p"], env=self.env(), stdout=subprocess.DEVNULL,
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
        self._start_server()
        if self.state.get("keep_desktop"):
            self.keep_desktop()

    def keep_desktop(self):
        """Keeps the desktop open until the server ends: Wine closes an unused one after a
        second, and a program that starts while it closes may find none. Termgate's windows
        are what the scenarios look for, so the keeper's hidden window is no concern of theirs."""
        self.state["keep_desktop"] = True
        self.start(self.e2e_dir() / "desktop_keeper" / "desktop_keeper.exe")

    @staticmethod
    def by_system_regsvr32(unregisterer):
        """Whether a library's mark names Windows' own regsvr32.exe as its unregisterer."""
        found = re.search(r"\\windows\\(.*\\)?regsvr32\.exe$", unregisterer.strip(), re.I)
        return found is not None

    def unregistered_libraries(self):
        """Which stand-in toolbar libraries were unregistered, and by which program: each writes
        the path of its unregisterer (UTF-16) beside itself. A mark that is still empty is being
        written and does not count yet."""
        toolbar = self.program_files() / "quillon"
        found = {}
        for number in (1, 2):
            mark = toolbar / f"quillontoolbar{number}.dll.unregistered"
            text = mark.read_bytes().decode("utf-16-le", errors="replace").strip() \
                if mark.exists() else ""
            if text:
                found[number] = text
        return found

    def running_programs(self):
        """"PID: COMMAND LINE" of each program running in this prefix."""
        found = []
        for pid in self.prefix_processes():
            try:
                command = Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ")
            except OSError:
                continue
            found.append(f"{pid}: {command.decode(errors='replace').strip()}")
        return found

    def leftover_processes(self, names=("termgate.exe", "cmd.exe", "regsvr32.exe")):
        """Windows programs of this prefix that are still running, by name."""
        return [program for program in self.running_programs()
                if any(name in program.lower() for name in names)]

    def wait_for_programs_to_end(self, names, seconds):
        """Waits up to `seconds` until no program of these names runs; returns those that
        still do."""
        deadline = time.monotonic() + seconds
        while (left := self.leftover_processes(names)) and time.monotonic() < deadline:
            time.sleep(0.1)
        return left

    def check_architecture(self):
        # Output goes to files, not pipes: the Wine services that a program starts inherit its
        # standard handles and would hold a pipe open long after the program has ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run([WINE, str(self.window_spy_exe()), "window", "Form2"],
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

    def window_spy_exe(self):
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
                                    stdout=pipe, stderr=log, start_new_session=self.detach)
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

    def log_size(self):
        log = self.prefix.parent / "wine.log"
        return log.stat().st_size if log.exists() else 0

    def report(self, log_from=0):
        """What a failure report needs from the prefix: the Windows programs still running and
        what Wine wrote to its log since `log_from`, less the line every browser control adds."""
        lines = ["Windows programs running in the prefix:"]
        lines += [f"  {program}" for program in self.running_programs()]
        log = self.prefix.parent / "wine.log"
        if log.exists():
            with open(log, "rb") as written:
                written.seek(log_from)
                new = [line for line in written.read().decode(errors="replace").splitlines()
                       if line.strip() and "Could not find Wine Gecko" not in line]
            lines.append(f"Wine's log since the scenario began ({len(new)} lines):")
            lines += [f"  {line}" for line in new[-40:]]
        return "\n".join(lines)

    def kill_windows_programs(self):
        """Ends whatever a failed scenario left running in the prefix, keeping the server."""
        subprocess.run([WINE, "taskkill", "/f", "/im", "Termgate.exe"], env=self.env(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30,
                       check=False)
