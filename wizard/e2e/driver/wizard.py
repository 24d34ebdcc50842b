"""One run of Termgate.exe in a prefix: installed with its pages, its language file written or
left out, started, and watched by window_spy; the steps a person takes through it; and the
stand-in toolbar libraries that tell who unregistered them."""

import re
import shutil
from pathlib import Path

from .wine import DEFAULT_LOCALE
from .waiting import wait_until
from .window_spy import WindowSpy

INSTALL = ("Kelvarn", "Termgate")
LANGUAGE_FILE = ("Kelvarn", "Q-Harbor", "Lang.ini")
LIBRARIES = (1, 2)
# What a confirmed decline starts, and what must not outlive a run.
COMMANDS = ("cmd.exe", "regsvr32.exe")
PROGRAMS = ("termgate.exe",) + COMMANDS


class BuildTree:
    """The Windows programs of one build tree: Termgate.exe with its pages, and the test
    programs beside it."""

    def __init__(self, tree, termgate=None):
        self.path = Path(tree).resolve()
        self.termgate = Path(termgate).resolve() if termgate else \
            self.path / "wizard" / "win32" / "Termgate.exe"
        self.pages = self.path / "wizard" / "win32"
        self.e2e = self.path / "wizard" / "e2e"
        self.window_spy = self.e2e / "window_spy" / "window_spy.exe"
        self.desktop_keeper = self.e2e / "desktop_keeper" / "desktop_keeper.exe"


def unregistered_libraries(prefix):
    """Which stand-in toolbar libraries were unregistered, and by which programs: each adds the
    path of its unregisterer (a UTF-16 line) to a mark beside itself, once per unregistration.
    A line still being written does not count yet."""
    found = {}
    for number in LIBRARIES:
        mark = prefix.program_files() / "quillon" / f"quillontoolbar{number}.dll.unregistered"
        text = mark.read_bytes().decode("utf-16-le", errors="replace") if mark.exists() else ""
        lines = [line for line in text.split("\r\n")[:-1] if line]
        if lines:
            found[number] = lines
    return found


def by_system_regsvr32(unregisterer):
    """Whether a library's mark names Windows' own regsvr32.exe as its unregisterer."""
    return re.search(r"\\windows\\(.*\\)?regsvr32\.exe$", unregisterer.strip(), re.I) is not None


class Run:
    """Termgate.exe installed in the prefix, started, and watched by window_spy."""

    def __init__(self, prefix, tree, name, language_file=None, locale=DEFAULT_LOCALE, pages=True,
                 cwd=None, screenshots=None, winedebug="-all", plant=None, settled=False,
                 screenshot_steps=True, exe=None):
        """`language_file`: the bytes of Lang.ini, or None for no file. `screenshots`: a folder
        for the screenshots of the steps, or None for none. `plant`: files to copy beside the
        program, and into `cwd` (its current directory) when that is given. `settled`: take
        each screenshot only once the screen has stopped changing; `screenshot_steps`: whether
        the steps below take one each; `exe`: a Termgate.exe to run instead of the tree's."""
        self.prefix = prefix
        self.tree = tree
        self.name = name
        self.screenshots = Path(screenshots) if screenshots else None
        self.settled = settled
        self.screenshot_steps = screenshot_steps
        self.shots = 0
        self.install_dir = prefix.drive_c.joinpath(*INSTALL)
        self._install(Path(exe) if exe else tree.termgate, language_file, pages, plant or (), cwd)
        self.log_from = prefix.log_size()
        self.process = prefix.start(self.install_dir / "Termgate.exe",
                                    cwd=cwd or self.install_dir, locale=locale,
                                    winedebug=winedebug)
        self.spy = WindowSpy(prefix, tree.window_spy)

    def _install(self, exe, language_file, pages, plant, cwd):
        c = self.prefix.drive_c
        for stale in (c / "Kelvarn", c / "planted-ran", c / "planted-cwd"):
            shutil.rmtree(stale, ignore_errors=True)
        self.install_dir.mkdir(parents=True)
        shutil.copy2(exe, self.install_dir / "Termgate.exe")
        if pages:
            for page in ("index.html", "toolbar.html"):
                shutil.copy2(self.tree.pages / page, self.install_dir)
        if cwd is not None:
            Path(cwd).mkdir(parents=True, exist_ok=True)
        for file in plant:
            for folder in (self.install_dir, cwd) if cwd is not None else (self.install_dir,):
                shutil.copy2(file, folder)
        if language_file is not None:
            setting = c.joinpath(*LANGUAGE_FILE)
            setting.parent.mkdir(parents=True)
            setting.write_bytes(language_file)
        toolbar = self.prefix.program_files() / "quillon"
        toolbar.mkdir(parents=True, exist_ok=True)
        for mark in list(toolbar.glob("*.registered")) + list(toolbar.glob("*.unregistered")):
            mark.unlink()
        for number in LIBRARIES:
            shutil.copy2(self.tree.e2e / f"quillontoolbar{number}.dll", toolbar)

    # --- the run as a whole ---------------------------------------------------------------

    def exit_code(self, timeout=20):
        """Termgate's exit status once it has ended; raises subprocess.TimeoutExpired."""
        return self.process.wait(timeout=timeout)

    def ended(self):
        status = self.process.poll()
        return "was still running" if status is None else f"had exited with {status}"

    def finish(self):
        """Stops window_spy, and Termgate with whatever it started if it still runs."""
        self.spy.close()
        if self.process.poll() is None:
            self.prefix.stop_programs(PROGRAMS)
            self.process.wait(timeout=30)

    def _step_screenshot(self, what, form=None):
        if self.screenshot_steps:
            self.screenshot(what, form)

    def screenshot(self, what, form=None):
        """The screen, or the window of `form`, saved as NAME-N-WHAT.png; None without a
        folder for screenshots."""
        if not self.screenshots:
            return None
        self.screenshots.mkdir(parents=True, exist_ok=True)
        self.shots += 1
        rect = self.spy.window(form)["windowRect"] if form else None
        return self.prefix.screenshot(self.screenshots / f"{self.name}-{self.shots}-{what}.png",
                                      rect, self.settled)

    def unregistered(self, both=True, timeout=20):
        """The libraries unregistered so far, each with its unregisterers. With `both`, waits
        until both are and no uninstall command runs any more (they may outlive Termgate)."""
        def both_marked():
            found = unregistered_libraries(self.prefix)
            return found if len(found) == len(LIBRARIES) else None
        if not both:
            return unregistered_libraries(self.prefix)
        wait_until(both_marked, "both libraries to be unregistered", timeout)
        self.prefix.wait_for_programs_to_end(COMMANDS, timeout)
        return unregistered_libraries(self.prefix)

    # --- the steps a person takes ---------------------------------------------------------

    def welcome(self):
        """Waits for the welcome window; returns it."""
        window = self.spy.wait("Form2", "visible")
        self._step_screenshot("welcome", "Form2")
        return window

    def next(self):
        """Presses Next; returns the terms window once it shows."""
        self.spy.click("Form2", "Command1")
        window = self.spy.wait("Form3", "visible")
        self._step_screenshot("terms", "Form3")
        return window

    def choose(self, option, caption=None):
        """Selects an option and waits until it is checked and the button shows (with `caption`
        when given); returns the terms window's controls."""
        self.spy.click("Form3", option)
        return self.await_choice(option, caption)

    def await_choice(self, option, caption=None):
        def chosen():
            controls = self.spy.controls("Form3")
            button = controls["Command1"]
            return controls if controls[option]["checked"] == 1 and button["visible"] and \
                caption in (None, button["text"]) else None
        controls = wait_until(chosen, f"{option} to be chosen with the button reading "
                              f"{caption!r}")
        self._step_screenshot(f"chose-{option}", "Form3")
        return controls

    def press_button(self):
        """Presses the terms window's button; returns the box it opens."""
        self.spy.click("Form3", "Command1")
        box = self.spy.msgbox()
        self._step_screenshot("box")
        return box

    def answer(self, button):
        """Answers the open box; returns it as it was."""
        return self.spy.answer(button)

    def next_box(self):
        """The box that is open now, once the one before has gone."""
        box = self.spy.msgbox()
        self._step_screenshot("box")
        return box

    def decline_to_the_end(self):
        """Declines, confirms with OK and dismisses the notice; returns the notice and
        Termgate's exit status."""
        self.choose("Option2")
        self.press_button()
        self.answer("ok")
        notice = self.next_box()
        self.answer("ok")
        return notice, self.exit_code()

    def accept_to_the_end(self):
        """Accepts and presses the button; returns Termgate's exit status."""
        self.choose("Option1")
        self.spy.click("Form3", "Command1")
        return self.exit_code()


def wine_exit_status(code):
    """What a Windows exit code looks like to Linux, where a status has eight bits."""
    return code & 0xFF
