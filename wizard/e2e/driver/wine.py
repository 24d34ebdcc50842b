"""A Wine prefix with a display, in which Termgate.exe and the test programs run.

The tests make one prefix per run in the build tree; tools/run-wizard and bench/run keep theirs
from one run to the next. Everything started here is stopped by the prefix's own wineserver, or by
process id once that process is shown to belong to this prefix or to have been started here.
"""

import json
import os
import re
import shutil
import subprocess
import tempfile
from pathlib import Path

from . import display as x11
from .processes import identity, is_running, stop_pid, stop_process, wait_for_end
from .waiting import Timeout, wait_until

WINE = "/usr/lib/wine/wine64"
WINE32 = "/usr/lib/wine/wine"
WINESERVER = "/usr/lib/wine/wineserver"
SCREEN = "1920x1200"  # room for the windows at 144 dpi
DEFAULT_LOCALE = "en_US.UTF-8"
# What a kept prefix must have been made with; raise LAYOUT whenever _boot changes what it sets.
LAYOUT = 2
LAYOUT_FILE = "termgate_layout.json"
FONT_LINKS = r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink"
CJK_FONT = "ipag.ttf,IPAGothic"
DESKTOP_KEY = "[Software\\\\Wine\\\\Explorer\\\\Desktops]"


class Unsupported(Exception):
    """This machine cannot run the programs of this build (e.g. no 32-bit support)."""


def wine_version():
    return subprocess.run([WINE, "--version"], capture_output=True, text=True,
                          check=False).stdout.strip()


def cannot_run_32bit():
    """Why this machine cannot run 32-bit Windows programs, or "" when it can. Wine runs them
    through its 32-bit loader, which a kernel without 32-bit emulation refuses outright."""
    try:
        probe = subprocess.run([WINE32, "--version"], capture_output=True, check=False)
    except OSError as refused:
        return str(refused)
    if probe.returncode == 0:
        return ""
    return probe.stderr.decode(errors="replace").strip() or f"exit {probe.returncode}"


def pe_arch(exe):
    """x86 or x64, from the machine field of a program's PE header."""
    data = Path(exe).read_bytes()
    header = int.from_bytes(data[0x3C:0x40], "little")
    return {0x14C: "x86", 0x8664: "x64"}[int.from_bytes(data[header + 4:header + 6], "little")]


def dpi_settings(dpi):
    """The registry values that give the screen `dpi`, for reg_import."""
    return [(key, "LogPixels", "REG_DWORD", str(dpi)) for key in (
        r"HKCU\Control Panel\Desktop",
        r"HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts")]


def registry_file(settings):
    """The text of a .reg file that sets `settings`, each (key, name, kind, value) with kind
    REG_SZ, REG_DWORD or REG_MULTI_SZ (one string) and the key's root written short."""
    roots = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER"}

    def quoted(text):
        return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'

    def data(kind, value):
        if kind == "REG_DWORD":
            return f"dword:{int(value):08x}"
        if kind == "REG_MULTI_SZ":
            return "hex(7):" + (value + "\0\0").encode("utf-16-le").hex(",")
        return quoted(value)

    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, name, kind, value in settings:
        root, _, path = key.partition("\\")
        lines += [f"[{roots[root]}\\{path}]", f"{quoted(name)}={data(kind, value)}", ""]
    return "\r\n".join(lines)


def _quietly(command, env, timeout=60):
    """Runs a Wine tool, its output to a file: the Wine services it may start inherit its
    standard handles and would hold a pipe open long after it ended."""
    with tempfile.TemporaryFile() as output:
        result = subprocess.run([str(part) for part in command], env=env,
                                stdin=subprocess.DEVNULL, stdout=output, stderr=output,
                                timeout=timeout, check=False)
        output.seek(0)
        return result.returncode, output.read().decode(errors="replace")


class Prefix:
    """The prefix, its display and the programs started in it; saved in a small JSON file so
    that a later run can stop what an interrupted one left running."""

    def __init__(self, state, state_file):
        self.state = state
        self.state_file = Path(state_file)
        self.path = Path(state["prefix"])
        self.arch = state["arch"]
        # Whether programs get a process group of their own, out of reach of a Ctrl-C meant for
        # the script that started them (which then stops them itself).
        self.detach = state.get("detach", False)

    # --- making and ending ----------------------------------------------------------------

    @classmethod
    def create(cls, state_file, arch, dpi=96, screen=SCREEN, display=None, keep=False,
               detach=False):
        """Makes the prefix beside `state_file` and finds or starts the display. `display` ""
        asks for an Xvfb of `screen` size; None takes $DISPLAY. With `keep`, a whole prefix that
        an earlier run made with the same layout, Wine, architecture and DPI, and that still
        works, is used again with its desktop set to `screen`; otherwise it is made anew.
        state["kept"] tells which, and state["made_anew"] why a kept one was not used. Raises
        Unsupported where this machine cannot run `arch`."""
        if arch == "x86" and (reason := cannot_run_32bit()):
            raise Unsupported(f"this machine cannot run 32-bit Windows programs ({reason})")
        state_file = Path(state_file).resolve()
        state_file.parent.mkdir(parents=True, exist_ok=True)
        if state_file.exists():
            try:
                cls.load(state_file).destroy()  # what an interrupted run left running
            except (OSError, ValueError, KeyError):
                pass
        if display is None:
            display = "" if os.environ.get("TERMGATE_E2E_OWN_DISPLAY") else \
                os.environ.get("DISPLAY", "")
        state = {"prefix": str(state_file.parent / "prefix"), "arch": arch, "dpi": dpi,
                 "display": display, "xvfb": None, "kept": False, "detach": detach,
                 "desktop_keeper": None, "screen": screen}
        prefix = cls(state, state_file)
        if not display:
            state["display"], state["xvfb"] = x11.start_xvfb(screen, prefix.log_file)
        try:
            prefix.save()
            if keep:
                state["made_anew"] = prefix._why_not_kept(screen)
                state["kept"] = state["made_anew"] is None
            if not state["kept"]:
                prefix._stop_server()
                shutil.rmtree(prefix.path, ignore_errors=True)
                prefix._boot(dpi, screen)
                prefix._start_server()
                prefix.check_architecture()
                (prefix.path / LAYOUT_FILE).write_text(json.dumps(prefix._wanted_layout()))
        except BaseException:
            prefix.destroy()  # the display and server it started go with it
            raise
        prefix.save()
        return prefix

    def _why_not_kept(self, screen):
        """Why the prefix there cannot be used again, or None when it can (then its server runs,
        with its desktop set to `screen`)."""
        if not (self.path / LAYOUT_FILE).exists():
            return "it was missing"
        made = self._layout()
        if made is None or not self._set_desktop(screen):
            return "it was broken: a registry file or a system file is missing or empty"
        wanted = self._wanted_layout()
        if made.get("layout") != wanted["layout"]:
            return "it was made by an older layout of this tool"
        if made != wanted:
            return "it was made by another Wine, or for another architecture or DPI"
        self._start_server()
        return None if self._works() else "it was broken: Wine cannot start its cmd.exe in it"

    @classmethod
    def load(cls, state_file):
        return cls(json.loads(Path(state_file).read_text()), state_file)

    def save(self):
        self.state_file.write_text(json.dumps(self.state, indent=1))

    def destroy(self):
        """Stops every program of the prefix, its server and the Xvfb started for it."""
        self._stop_server()
        # Whatever the server did not take down (it cannot, once its prefix folder was
        # replaced) is found by the prefix in its environment and stopped by process id.
        for pid in self.prefix_processes():
            stop_pid(pid)
        stop_process(self.state.get("xvfb"))

    def _wanted_layout(self):
        return {"layout": LAYOUT, "wine": wine_version(), "arch": self.arch,
                "dpi": self.state["dpi"]}

    def _layout(self):
        """The layout a whole prefix was made with; None for a missing or broken one."""
        try:
            made = json.loads((self.path / LAYOUT_FILE).read_text())
        except (OSError, ValueError):
            return None
        parts = [self.path / part for part in (
            "system.reg", "user.reg", "userdef.reg", "drive_c/windows/system32/kernel32.dll")]
        whole = all(part.exists() and part.stat().st_size > 0 for part in parts)
        return made if whole else None

    def _works(self, system="system32"):
        """Whether Wine can start a program of the prefix's own (its cmd.exe in `system`): a
        registry it cannot read leaves the layout file in place but every program failing."""
        cmd = f"C:\\windows\\{system}\\cmd.exe"
        code, output = _quietly([WINE, cmd, "/c", "echo", "termgate-prefix-works"], self.env(),
                                timeout=120)
        return code == 0 and "termgate-prefix-works" in output

    def _set_desktop(self, screen):
        """Sizes the virtual desktop in the prefix's registry file, which the wineserver reads
        when it starts: faster than a `wine reg` call, and no desktop gets made at the old size
        on the way. False when the file does not hold the setting _boot made."""
        registry = self.path / "user.reg"
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

    def _boot(self, dpi, screen):
        env = self.env()
        code, output = _quietly([WINE, "wineboot", "-i"], env, timeout=180)
        if code != 0:
            raise RuntimeError(f"wineboot -i failed ({code}): {output[-500:]}")
        # A Wine program that starts while the desktop of the one before is closing can find
        # none and fail to start ("ShellExecuteEx failed: Internal error"): the tenth of ten
        # `reg add`s in a row failed so, twice, under load. So the settings go in with one
        # program, started once everything wineboot started has ended.
        subprocess.run([WINESERVER, "-w"], env=env, timeout=60, check=True)
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
            # The message boxes draw with the system's message font, "MS Shell Dlg", for which
            # Wine chooses Liberation Sans: it needs the same link for a box's Japanese button.
            (FONT_LINKS, "Liberation Sans", "REG_MULTI_SZ", CJK_FONT),
            (FONT_LINKS, "Liberation Sans Bold", "REG_MULTI_SZ", CJK_FONT),
        ]
        self.reg_import(settings + dpi_settings(dpi))
        # Caption buttons are glyphs of Marlett, which Wine looks for among the prefix's fonts.
        marlett = Path("/usr/share/wine/fonts/marlett.ttf")
        if marlett.exists():
            shutil.copy2(marlett, self.drive_c / "windows" / "Fonts")
        subprocess.run([WINESERVER, "-w"], env=env, timeout=60, check=True)

    def _start_server(self):
        # A persistent server keeps later starts fast; it stays in the foreground, so it is
        # left running on its own, and destroy() ends it.
        subprocess.Popen([WINESERVER, "-f", "-p"], env=self.env(), stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, start_new_session=True)

    def _stop_server(self):
        if self.path.exists():
            subprocess.run([WINESERVER, "-k"], env=self.env(), stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30, check=False)

    def check_architecture(self):
        """Raises Unsupported unless a program of the prefix's architecture runs here: its own
        32-bit cmd.exe for x86."""
        if not self._works("syswow64" if self.arch == "x86" else "system32"):
            raise Unsupported(f"the {self.arch} programs of this prefix do not run under Wine "
                              "here")

    # --- settings -------------------------------------------------------------------------

    def reg_add(self, key, name, value, kind="REG_SZ"):
        """Sets a registry value; name None sets the key's default value."""
        target = ["/ve"] if name is None else ["/v", name]
        code, output = _quietly([WINE, "reg", "add", key, *target, "/t", kind, "/d", value,
                                 "/f"], self.env())
        if code != 0:
            raise RuntimeError(f"reg add {key} {name}: {output.strip()}")

    def reg_query(self, key, name=None):
        """A registry value's text, or None when it is not there."""
        target = ["/ve"] if name is None else ["/v", name]
        code, output = _quietly([WINE, "reg", "query", key, *target], self.env())
        if code != 0:
            return None
        found = re.search(r"\s(REG_\w+)\s+(.*)$", output.strip().splitlines()[-1])
        return found.group(2) if found else ""

    def reg_import(self, settings):
        """Sets registry values, each (key, name, kind, value), with one `reg import`."""
        file = self.drive_c / "termgate-settings.reg"
        file.write_text("\ufeff" + registry_file(settings), encoding="utf-16-le")
        try:
            code, output = _quietly([WINE, "reg", "import", "C:\\termgate-settings.reg"],
                                    self.env())
        finally:
            file.unlink()
        if code != 0:
            raise RuntimeError(f"reg import of {settings}: {output.strip()}")

    def set_dpi(self, dpi):
        """Changes the screen's DPI. Every Wine process reads it when it starts, so the
        prefix's programs are ended and its server started anew."""
        if self.state.get("current_dpi", self.state["dpi"]) == dpi:
            return
        self.reg_import(dpi_settings(dpi))
        self._restart_server()
        self.state["current_dpi"] = dpi
        if self.state.get("keep_desktop"):
            self.keep_desktop()

    def keep_desktop(self, keeper=None):
        """Keeps the desktop open until the server ends: Wine closes an unused one a second
        after its last program ended, and a program that starts while it closes may find none.
        `keeper` is desktop_keeper.exe, a program without a window that the session's end does
        not ask to end."""
        if keeper is not None:
            self.state["keep_desktop"] = str(keeper)
        if is_running(self.state.get("desktop_keeper")):
            return
        process = self.start(self.state["keep_desktop"])
        self.state["desktop_keeper"] = identity(process.pid)
        self.save()

    def _restart_server(self):
        """Ends every program of the prefix and its server, and starts the server anew. The
        desktop keeper is waited for too: one still on its way out would look alive, and
        keep_desktop would start none."""
        self._stop_server()
        subprocess.run([WINESERVER, "-w"], env=self.env(), timeout=60, check=False)
        wait_for_end(self.state.get("desktop_keeper"), "the old desktop keeper")
        self.state["desktop_keeper"] = None
        self._start_server()

    def end_session(self):
        """Ends the Windows session as a logoff does: every program's windows get
        WM_QUERYENDSESSION and WM_ENDSESSION, and what is still running afterwards is ended."""
        code, output = _quietly([WINE, "wineboot", "--end-session"], self.env(), timeout=120)
        if code != 0:
            raise RuntimeError(f"wineboot --end-session failed ({code}): {output.strip()}")
        if self.state.get("keep_desktop"):
            self.keep_desktop()  # it has no window, so the session's end leaves it running

    # --- paths and environment ------------------------------------------------------------

    def env(self, locale=DEFAULT_LOCALE, winedebug="-all", native=()):
        """The environment of the prefix's programs. `native`: Wine's own programs (e.g.
        "certutil.exe") that a stand-in planted in the system folder replaces, which Wine would
        otherwise run in its place."""
        env = dict(os.environ)
        overrides = ";".join(["winemenubuilder.exe=d", *(f"{name}=n" for name in native)])
        env.update({"WINEPREFIX": str(self.path), "WINEDEBUG": winedebug,
                    "DISPLAY": self.state["display"], "LC_ALL": locale, "LANG": locale,
                    "WINEDLLOVERRIDES": overrides})
        return env

    @property
    def drive_c(self):
        return self.path / "drive_c"

    def program_files(self):
        """Where %programfiles% points for a program of this prefix's architecture."""
        return self.drive_c / ("Program Files (x86)" if self.arch == "x86" else "Program Files")

    @property
    def log_file(self):
        return self.state_file.parent / "wine.log"

    # --- programs -------------------------------------------------------------------------

    def start(self, exe, args=(), cwd=None, locale=DEFAULT_LOCALE, talk=False, winedebug="-all",
              native=()):
        """Starts a Windows program. With `talk`, its standard input and output are pipes;
        otherwise its output goes to the prefix's log, where no reader is needed."""
        with open(self.log_file, "ab") as log:
            pipe = subprocess.PIPE if talk else log
            return subprocess.Popen([WINE, str(exe), *map(str, args)], cwd=cwd,
                                    env=self.env(locale, winedebug, native),
                                    stdin=subprocess.PIPE if talk else subprocess.DEVNULL,
                                    stdout=pipe, stderr=log, start_new_session=self.detach)

    def run(self, exe, args=(), timeout=120, native=()):
        """Runs a Windows console program to its end; returns its exit code and output."""
        return _quietly([WINE, exe, *args], self.env(native=native), timeout=timeout)

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
                if f"WINEPREFIX={self.path}".encode() in environ:
                    found.append(int(proc.name))
        return found

    def running_programs(self, names=None):
        """"PID: COMMAND LINE" of each program running in this prefix; only those whose command
        line names one of `names` (lower case) when given."""
        found = []
        for pid in self.prefix_processes():
            try:
                command = Path(f"/proc/{pid}/cmdline").read_bytes().replace(b"\0", b" ")
            except OSError:
                continue
            line = f"{pid}: {command.decode(errors='replace').strip()}"
            if names is None or any(name in line.lower() for name in names):
                found.append(line)
        return found

    def wait_for_programs_to_end(self, names, timeout):
        """Waits up to `timeout` seconds until no program of these names runs; returns those
        that still do."""
        try:
            wait_until(lambda: not self.running_programs(names), f"{', '.join(names)} to end",
                       timeout)
        except Timeout:
            pass
        return self.running_programs(names)

    def stop_programs(self, names):
        """Ends the prefix's programs of these names, keeping its server and services."""
        for line in self.running_programs(names):
            stop_pid(int(line.split(":", 1)[0]))

    # --- what happened --------------------------------------------------------------------

    def log_size(self):
        return self.log_file.stat().st_size if self.log_file.exists() else 0

    def log_since(self, offset):
        """What Wine logged since `offset`, less the notice every browser control writes."""
        if not self.log_file.exists():
            return []
        with open(self.log_file, "rb") as written:
            written.seek(offset)
            return [line for line in written.read().decode(errors="replace").splitlines()
                    if line.strip() and "Could not find Wine Gecko" not in line]

    def screenshot(self, target, rect=None, settled=False):
        return x11.screenshot(self.state["display"], target, rect, settled)

    def click(self, x, y):
        x11.click(self.state["display"], x, y)

    def xdotool(self, *args):
        """Real keyboard or mouse input on the prefix's display (xdotool ARGS...)."""
        x11.xdotool(self.state["display"], *args)

    def pixel(self, x, y):
        return x11.pixel(self.state["display"], x, y)

    def screen(self):
        """The virtual desktop's size, (width, height)."""
        return tuple(int(n) for n in self.state["screen"].split("x"))

    def next_session(self):
        """Ends the session, as a logoff does, and starts the next one, as a logon does: Wine
        runs the prefix's HKLM RunOnce entries then, before anything else of the session."""
        self._restart_server()
