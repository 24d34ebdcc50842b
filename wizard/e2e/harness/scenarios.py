"""What Termgate.exe does on a real Windows API implementation, scenario by scenario.

Each scenario installs Termgate.exe with its pages into the prefix, writes (or leaves out) the
language file, runs the program, drives it through window_spy as a user would, and checks
windows, boxes, the toolbar's libraries and the exit code. Screenshots of every window reached
go to the build tree.
"""

import shutil
import time
from pathlib import Path

from window_spy_client import WindowSpy

SCENARIOS = {}


def scenario(function):
    SCENARIOS[function.__name__] = function
    return function


# --- expected texts ---------------------------------------------------------------------------

ENGLISH_MESSAGE = (
    "You have chosen to decline the Terms of Use for the Quillon Toolbar.  The toolbar will be "
    "uninstalled.\r\n\r\n\r\nYou may uninstall the remaining Quillon products from the "
    "Add/Remove Programs menu.\r\n\r\n\r\nClick cancel to return to the Terms of Use page.")
GERMAN_MESSAGE = (
    "Sie haben die Nutzungsbedingungen für die Symbolleiste von Quillon abgelehnt. Die "
    "Symbolleiste wird jetzt deinstalliert. \r\n\r\n\r\nSie können die verbleibenden "
    "Quillon-Produkte im Menü \"Software\"deinstallieren. \r\n\r\nKlicken Sie "
    "auf\"Abbrechen\", um auf die Seite, die die Nutzungsbedingungen enthält, zurückzukehren.")
DECLINE_TITLE = "Uninstall Quillon Toolbar"
NOTICE = "Uninstalled Quillon Toolbar"

ROLE_SYSTEM_RADIOBUTTON = 45
EXIT_WITHOUT_ANSWER = 1  # Termgate.exe told to quit before anyone finished it

# Layout rectangles in twips (left, top, width, height), and the client areas.
CLIENT_TWIPS = {"Form2": (15630, 10965), "Form3": (15570, 11115)}
CONTROL_TWIPS = {
    "Form2": {"WebBrowser1": (0, 240, 15375, 10095), "Command1": (6240, 10440, 1455, 375)},
    "Form3": {"Command1": (12240, 10440, 2535, 375), "Option2": (8280, 10440, 255, 255),
              "Option1": (5400, 10440, 255, 255), "WebBrowser2": (120, 240, 15135, 10095),
              "WebBrowser1": (3000, 3600, 135, 30), "Label3": (8640, 10440, 2175, 375),
              "Label2": (5760, 10440, 2175, 375)},
}


def pixels(twips, dpi):
    """Twips to pixels the way MulDiv rounds: to nearest, halves away from zero."""
    return (twips * dpi + 720) // 1440


def pixel_rect(twips_rect, dpi):
    left, top, width, height = twips_rect
    return [pixels(left, dpi), pixels(top, dpi), pixels(left + width, dpi),
            pixels(top + height, dpi)]


def expect(condition, message):
    if not condition:
        raise AssertionError(message)


def expect_equal(actual, expected, what):
    expect(actual == expected, f"{what}: expected {expected!r}, got {actual!r}")


# --- one run of Termgate.exe --------------------------------------------------------------------

class Run:
    """Termgate.exe installed in the prefix, started, and watched by window_spy."""

    def __init__(self, session, name, language_file=None, locale="en_US.UTF-8", pages=True,
                 cwd=None, screenshots=True):
        self.session = session
        self.name = name
        self.screenshots = screenshots
        self.install_dir = session.drive_c / "Kelvarn" / "Termgate"
        self._reset(language_file, pages)
        self.process = session.start(self.install_dir / "Termgate.exe",
                                     cwd=cwd or self.install_dir, locale=locale)
        self.spy = WindowSpy(session)
        self.shots = 0

    def _reset(self, language_file, pages):
        c = self.session.drive_c
        for stale in (c / "Kelvarn", c / "planted-ran", c / "planted-cwd"):
            shutil.rmtree(stale, ignore_errors=True)
        self.install_dir.mkdir(parents=True)
        tree = self.session.termgate_exe().parent
        shutil.copy2(tree / "Termgate.exe", self.install_dir)
        if pages:
            for page in ("index.html", "toolbar.html"):
                shutil.copy2(tree / page, self.install_dir)
        if language_file is not None:
            setting = c / "Kelvarn" / "Q-Harbor"
            setting.mkdir(parents=True)
            (setting / "Lang.ini").write_bytes(language_file)
        toolbar = self.session.program_files() / "quillon"
        toolbar.mkdir(parents=True, exist_ok=True)
        for mark in list(toolbar.glob("*.registered")) + list(toolbar.glob("*.unregistered")):
            mark.unlink()
        for number in (1, 2):
            shutil.copy2(self.session.e2e_dir() / f"quillontoolbar{number}.dll", toolbar)

    def screenshot(self, what, form=None):
        if not self.screenshots:
            return None
        self.shots += 1
        rect = self.spy.window(form)["windowRect"] if form else None
        return self.session.screenshot(f"{self.name}-{self.shots}-{what}", rect)

    def exit_code(self, seconds=20):
        try:
            return self.process.wait(timeout=seconds)
        except Exception as timeout:  # subprocess.TimeoutExpired
            raise AssertionError(f"Termgate.exe still running after {seconds} s") from timeout

    def finish(self):
        self.spy.close()
        status = self.process.poll()
        if status is None:
            self.session.kill_windows_programs()
            self.process.wait(timeout=30)
        self.session.ended_runs.append(
            f"{self.name}: Termgate.exe " + ("was still running when the scenario ended"
                                             if status is None else f"had exited with {status}"))

    # What scenarios do again and again.

    def welcome(self, caption):
        window = self.spy.wait("Form2", "visible")
        expect(window["topmost"], "the welcome window is not topmost")
        expect_equal(self.spy.controls("Form2")["Command1"]["text"], caption,
                     "the welcome window's button")
        self.screenshot("welcome", "Form2")
        return window

    def next(self, labels):
        self.spy.click("Form2", "Command1")
        window = self.spy.wait("Form3", "visible")
        expect(not self.spy.window("Form2")["visible"], "the welcome window is still shown")
        expect(window["topmost"], "the terms window is not topmost")
        controls = self.spy.controls("Form3")
        expect_equal((controls["Label2"]["text"], controls["Label3"]["text"]), labels,
                     "the option captions")
        expect(not controls["Command1"]["visible"] and not controls["Command1"]["enabled"],
               "the terms window's button is not hidden and disabled at first")
        expect(controls["Option1"]["checked"] == 0 and controls["Option2"]["checked"] == 0,
               "an option is selected at first")
        self.expect_accessible(labels, (False, False))
        self.screenshot("terms", "Form3")
        return controls

    def expect_accessible(self, labels, checked):
        """What a screen reader reads of the two options: their labels' texts, the radio-button
        role and which one is checked."""
        for option, label, is_checked in zip(("Option1", "Option2"), labels, checked):
            facts = self.spy.must("accessible", "Form3", option)
            expect_equal((facts["name"], facts["role"], facts["checked"]),
                         (label, ROLE_SYSTEM_RADIOBUTTON, is_checked),
                         f"{option} as a screen reader reads it (name, role, checked)")

    def choose(self, option, caption=None):
        """Selects an option and waits for the button to show `caption` (any, when None)."""
        self.spy.click("Form3", option)
        deadline = time.monotonic() + 10
        while True:
            button = self.spy.controls("Form3")["Command1"]
            checked = self.spy.controls("Form3")[option]["checked"] == 1
            if button["visible"] and checked and caption in (None, button["text"]):
                break
            expect(time.monotonic() < deadline,
                   f"after choosing {option} the button reads {button['text']!r}, "
                   f"visible {button['visible']}; expected {caption!r}")
            time.sleep(0.05)
        expect(button["enabled"], "the button is not enabled")
        controls = self.spy.controls("Form3")
        self.expect_accessible((controls["Label2"]["text"], controls["Label3"]["text"]),
                               (option == "Option1", option == "Option2"))
        self.screenshot(f"chose-{option}", "Form3")

    def confirmation(self, message):
        self.spy.click("Form3", "Command1")
        box = self.spy.msgbox()
        expect_equal(box["title"], DECLINE_TITLE, "the confirmation box's title")
        expect_equal(box["text"], message, "the confirmation box's text")
        expect_equal([b["text"] for b in box["buttons"]], ["OK", "Cancel"],
                     "the confirmation box's buttons")
        expect(not self.spy.window("Form3")["visible"],
               "the terms window is shown behind the confirmation box")
        self.screenshot("confirmation")
        return box

    def notice_then_end(self):
        self.spy.answer("ok")
        time.sleep(0.3)  # let the first box close before the notice is looked for
        box = self.spy.msgbox()
        expect_equal(box["title"], "", "the notice's title")
        expect_equal(box["text"], NOTICE, "the notice's text")
        expect_equal([b["text"] for b in box["buttons"]], ["OK"], "the notice's buttons")
        expect(not self.spy.window("Form3")["visible"], "the terms window came back")
        self.screenshot("notice")
        self.spy.answer("ok")
        expect_equal(self.exit_code(), 0, "Termgate.exe's exit code")

    def toolbar_marks(self, wait_for_both):
        deadline = time.monotonic() + (20 if wait_for_both else 2)
        while True:
            present = self.session.unregistered_libraries()
            if (wait_for_both and len(present) == 2) or time.monotonic() > deadline:
                return present
            time.sleep(0.1)

    def expect_toolbar_unregistered(self):
        present = self.toolbar_marks(wait_for_both=True)
        expect_equal(sorted(present), [1, 2], "libraries unregistered")
        for number, loaders in present.items():
            expect(self.session.by_system_regsvr32(loaders),
                   f"quillontoolbar{number}.dll was unregistered by {loaders.strip()!r}, "
                   "not by the system's regsvr32")

    def finish_accepted(self):
        """The button with accept chosen: the program ends with status 0, changing nothing."""
        self.spy.click("Form3", "Command1")
        expect_equal(self.exit_code(), 0, "Termgate.exe's exit code")
        self.expect_toolbar_untouched()

    def expect_toolbar_untouched(self):
        expect_equal(sorted(self.toolbar_marks(wait_for_both=False)), [],
                     "libraries unregistered")


def run(session, name, **options):
    return Run(session, name, **options)


# --- scenarios ----------------------------------------------------------------------------------

@scenario
def no_language_file(session):
    """No file: English texts; decline, the button, OK unregisters both libraries."""
    r = run(session, "no_language_file")
    try:
        r.welcome("Continue")
        r.next(("I accept", "I decline"))
        r.choose("Option2", "Uninstall")
        r.confirmation(ENGLISH_MESSAGE)
        r.notice_then_end()
        r.expect_toolbar_unregistered()
    finally:
        r.finish()


@scenario
def german(session):
    """DE: German captions and the German decline message, byte for byte."""
    r = run(session, "german", language_file=b"DE\r\n")
    try:
        r.welcome("Weiter")
        r.next(("Ich stimme zu", "Ich lehne ab"))
        r.choose("Option1", "Ende")
        r.choose("Option2", "Uninstall")
        r.confirmation(GERMAN_MESSAGE)
        r.notice_then_end()
        r.expect_toolbar_unregistered()
    finally:
        r.finish()


@scenario
def dutch(session):
    """NL: the one code with its own uninstall caption; accept then ends unchanged."""
    r = run(session, "dutch", language_file=b"NL\r\n")
    try:
        r.welcome("Doorgaan")
        r.next(("Ik ga akkoord", "Ik ga niet akkoord"))
        r.choose("Option2", "Desinstallatie")
        r.choose("Option1", "Eindig")
        r.finish_accepted()
    finally:
        r.finish()


@scenario
def japanese(session):
    """JP under a Japanese locale: the two captions come from the file, in code page 932."""
    accept, decline = "同意する", "同意しない"
    file = b"JP\r\n" + accept.encode("cp932") + b"\r\n" + decline.encode("cp932") + b"\r\n"
    r = run(session, "japanese", language_file=file, locale="ja_JP.UTF-8")
    try:
        r.welcome("Next")
        r.next((accept, decline))
        r.choose("Option2", "Uninstall")
        r.choose("Option1", "Finish")
    finally:
        r.finish()


@scenario
def lower_case_code(session):
    """fr is no code: design-time captions stay."""
    r = run(session, "lower_case_code", language_file=b"fr\r\n")
    try:
        r.welcome("Next")
        r.next(("I Accept", "I Decline"))
        r.choose("Option1", "Finish")
    finally:
        r.finish()


@scenario
def accept_then_button(session):
    """Accept and the button: the program ends at once and changes nothing."""
    r = run(session, "accept_then_button")
    try:
        r.welcome("Continue")
        r.next(("I accept", "I decline"))
        r.choose("Option1", "Finish")
        r.finish_accepted()
    finally:
        r.finish()


@scenario
def decline_cancel_then_button(session):
    """Cancel returns to the terms with accept selected; the button then ends the program."""
    r = run(session, "decline_cancel_then_button")
    try:
        r.welcome("Continue")
        r.next(("I accept", "I decline"))
        r.choose("Option2", "Uninstall")
        r.confirmation(ENGLISH_MESSAGE)
        r.spy.answer("cancel")
        r.spy.wait("Form3", "visible")
        controls = r.spy.controls("Form3")
        expect_equal((controls["Option1"]["checked"], controls["Option2"]["checked"]), (1, 0),
                     "options after Cancel (accept, decline)")
        expect_equal(controls["Command1"]["text"], "Finish", "the button after Cancel")
        r.expect_accessible(("I accept", "I decline"), (True, False))
        expect(controls["Command1"]["visible"] and controls["Command1"]["enabled"],
               "the button is not usable after Cancel")
        focus = r.spy.must("focus", "Form3")["focus"]
        expect(focus in ("Command1", "Option1"),
               f"after Cancel the keyboard focus is on {focus}, away from the choice made")
        r.screenshot("after-cancel", "Form3")
        r.finish_accepted()
    finally:
        r.finish()


@scenario
def one_question_at_a_time(session):
    """While the confirmation box is open, clicks that reach the hidden window's button or
    options do nothing: one box, the choice unchanged."""
    r = run(session, "one_question_at_a_time", language_file=b"DE\r\n")
    try:
        r.welcome("Weiter")
        r.next(("Ich stimme zu", "Ich lehne ab"))
        r.choose("Option2", "Uninstall")
        r.confirmation(GERMAN_MESSAGE)
        for control in ("Command1", "Option1", "Command1"):
            r.spy.click("Form3", control)
        time.sleep(0.5)
        box = r.spy.msgbox()
        expect_equal((box["count"], box["text"]), (1, GERMAN_MESSAGE), "boxes open (count, text)")
        controls = r.spy.controls("Form3")
        expect_equal((controls["Option1"]["checked"], controls["Option2"]["checked"]), (0, 1),
                     "options while the box is open (accept, decline)")
        expect(not r.spy.window("Form3")["visible"], "the terms window came back")
        r.spy.answer("cancel")
        r.spy.wait("Form3", "visible")
        r.expect_accessible(("Ich stimme zu", "Ich lehne ab"), (True, False))
        r.finish_accepted()
    finally:
        r.finish()


# Where a quit message (WM_QUIT: the session ending, or another program asking) finds the run.
QUIT_MOMENTS = ("welcome", "confirmation", "notice")


@scenario
def quit_without_an_answer(session):
    """A quit message ends Termgate at once with exit status 1, at any point: no box counts it
    as OK, nothing is unregistered and nothing is left running."""
    for moment in QUIT_MOMENTS:
        r = run(session, f"quit-at-{moment}")
        try:
            r.welcome("Continue")
            if moment != "welcome":
                r.next(("I accept", "I decline"))
                r.choose("Option2", "Uninstall")
                r.confirmation(ENGLISH_MESSAGE)
            if moment == "notice":
                r.spy.answer("ok")
                time.sleep(0.3)
                expect_equal(r.spy.msgbox()["text"], NOTICE, "the notice")
            r.spy.must("post-quit", "Form2")
            expect_equal(r.exit_code(), EXIT_WITHOUT_ANSWER, f"exit code after a quit at {moment}")
            r.expect_toolbar_untouched()
            expect_no_leftovers(session)
        finally:
            r.finish()


def expect_no_leftovers(session):
    left = session.wait_for_programs_to_end(("termgate.exe", "cmd.exe", "regsvr32.exe"), 10)
    expect(not left, f"processes left behind: {left}")


@scenario
def empty_language_file(session):
    """An empty file: the error box, no wizard window, a failing exit code."""
    r = run(session, "empty_language_file", language_file=b"")
    try:
        box = r.spy.msgbox()
        expect_equal(box["title"], "Termgate", "the error box's title")
        expect_equal(box["text"], "Run-time error '62':\r\n\r\nInput past end of file",
                     "the error box's text")
        expect(not r.spy.window("Form2").get("visible"), "the welcome window is shown")
        r.screenshot("error")
        r.spy.answer("ok")
        expect_equal(r.exit_code(), 62, "Termgate.exe's exit code")
        r.expect_toolbar_untouched()
    finally:
        r.finish()


@scenario
def pages_missing(session):
    """Neither page beside the program: the wizard still works to the end."""
    r = run(session, "pages_missing", pages=False)
    try:
        r.welcome("Continue")
        r.next(("I accept", "I decline"))
        r.choose("Option1", "Finish")
        r.spy.click("Form3", "Command1")
        expect_equal(r.exit_code(), 0, "Termgate.exe's exit code")
    finally:
        r.finish()


@scenario
def planted_binaries(session):
    """A cmd.exe and a regsvr32.exe beside the program and in its current directory never run."""
    planted_cwd = session.drive_c / "planted-cwd"

    class PlantedRun(Run):
        def _reset(self, language_file, pages):
            super()._reset(language_file, pages)
            planted_cwd.mkdir()
            for name in ("cmd.exe", "regsvr32.exe"):
                source = session.e2e_dir() / "planted" / name
                shutil.copy2(source, self.install_dir)
                shutil.copy2(source, planted_cwd)

    r = PlantedRun(session, "planted_binaries", cwd=planted_cwd)
    try:
        r.welcome("Continue")
        r.next(("I accept", "I decline"))
        r.choose("Option2", "Uninstall")
        r.confirmation(ENGLISH_MESSAGE)
        r.notice_then_end()
        r.expect_toolbar_unregistered()
        ran = session.drive_c / "planted-ran"
        expect_equal(sorted(p.name for p in ran.glob("*")) if ran.exists() else [], [],
                     "planted programs that ran")
    finally:
        r.finish()


@scenario
def windows_at_96_dpi(session):
    """Frames, styles, centring, client sizes and control rectangles; Close does nothing."""
    dpi = 96
    r = run(session, "windows_at_96_dpi")
    try:
        r.welcome("Continue")
        check_window(r, "Form2", dpi, caption=False)
        try_to_close(r, "Form2")
        r.next(("I accept", "I decline"))
        check_window(r, "Form3", dpi, caption=True)
        try_to_close(r, "Form3")
        expect(r.spy.window("Form3")["visible"], "the terms window closed")
    finally:
        r.finish()


def check_window(r, form, dpi, caption):
    window = r.spy.window(form)
    expect_equal(window["dpi"], dpi, f"{form}'s DPI")
    width, height = (pixels(t, dpi) for t in CLIENT_TWIPS[form])
    expect_equal(window["clientSize"], [width, height], f"{form}'s client size")
    expect(window["toolWindow"] and not window["appWindow"], f"{form} is in the taskbar")
    expect_equal(window["caption"], caption, f"{form} has a title bar")
    expect_equal(window["sysMenu"], caption, f"{form} has a control box")
    expect(not window["thickFrame"] and not window["minimizeBox"] and not window["maximizeBox"],
           f"{form} is resizable or has minimize/maximize boxes")
    expect_equal(window["title"], "", f"{form}'s title")
    left, top, right, bottom = window["windowRect"]
    work = window["workArea"]
    for outer, inner in (((left, right), (work[0], work[2])), ((top, bottom), (work[1], work[3]))):
        expect(abs((outer[0] + outer[1]) - (inner[0] + inner[1])) <= 1,
               f"{form} is not centred: window {window['windowRect']}, work area {work}")
    controls = r.spy.controls(form)
    for name, twips in CONTROL_TWIPS[form].items():
        expect_equal(controls[name]["rect"], pixel_rect(twips, dpi), f"{form}.{name}'s rectangle")


def try_to_close(r, form):
    for how in ("wm_close", "sc_close", "alt_f4"):
        r.spy.must("close", form, how)
        time.sleep(0.3)
        expect(r.spy.window(form)["visible"], f"{form} closed by {how}")
        expect(r.process.poll() is None, f"Termgate.exe ended after {how}")


@scenario
def keyboard(session):
    """Tab, arrow keys and Space work as in a dialog, and select options like a click."""
    r = run(session, "keyboard")
    try:
        r.welcome("Continue")
        r.spy.must("key", "Form2", "ENTER")
        r.spy.wait("Form3", "visible")
        r.spy.must("key", "Form3", "SPACE")
        deadline = time.monotonic() + 10
        while r.spy.controls("Form3")["Command1"]["text"] != "Finish":
            expect(time.monotonic() < deadline, "Space did not select the accept option")
            time.sleep(0.05)
        r.screenshot("focus-on-accept", "Form3")
        r.spy.must("key", "Form3", "DOWN")
        deadline = time.monotonic() + 10
        while r.spy.controls("Form3")["Command1"]["text"] != "Uninstall":
            expect(time.monotonic() < deadline, "the down arrow did not select the decline option")
            time.sleep(0.05)
        controls = r.spy.controls("Form3")
        expect_equal((controls["Option1"]["checked"], controls["Option2"]["checked"]), (0, 1),
                     "options after the down arrow (accept, decline)")
        r.spy.must("key", "Form3", "UP")
        r.spy.must("key", "Form3", "TAB")
        expect_equal(r.spy.must("focus", "Form3")["focus"], "Command1",
                     "the control Tab moves to")
        r.spy.must("key", "Form3", "SPACE")
        expect_equal(r.exit_code(), 0, "Termgate.exe's exit code")
        r.expect_toolbar_untouched()
    finally:
        r.finish()


# --- scaling and endurance ---------------------------------------------------------------------

JAPANESE_FILE = ("JP\r\n" + "同意する" + "\r\n" + "同意しない" + "\r\n").encode("cp932")

# Every language code (and the Japanese captions of the tests), with the locale it runs under.
CAPTION_CASES = [(code, f"{code}\r\n".encode(), "en_US.UTF-8")
                 for code in ("EN", "FR", "BR", "DA", "ES", "DE", "IT", "SV", "NL", "NO")]
CAPTION_CASES.append(("JP", JAPANESE_FILE, "ja_JP.UTF-8"))
CAPTION_CASES.append(("fr", b"fr\r\n", "en_US.UTF-8"))  # no code: the design-time captions

# Room a caption needs inside its control: a label's text runs up to its edges; a push button
# draws a frame and a focus rectangle around its text.
BUTTON_MARGIN = {"width": 8, "height": 4}


def fits(measure, is_button):
    margin = BUTTON_MARGIN if is_button else {"width": 0, "height": 0}
    return (measure["textWidth"] <= measure["controlWidth"] - margin["width"] and
            measure["textHeight"] <= measure["controlHeight"] - margin["height"])


def measure_captions(session, dpi, code, file, locale):
    """Every caption a user of `code` sees, measured against its control."""
    r = Run(session, f"dpi{dpi}-{code}", language_file=file, locale=locale,
            screenshots=code in ("EN", "DE", "JP"))
    found = {}

    def take(form, control, what):
        measure = r.spy.must("measure", form, control)
        expect_equal(measure["dpi"], dpi, f"{form}'s DPI")
        found[what] = (measure["text"], fits(measure, control == "Command1"), measure)

    try:
        r.spy.wait("Form2", "visible")
        if code == "EN":
            check_window(r, "Form2", dpi, caption=False)
        take("Form2", "Command1", "next")
        r.screenshot("welcome", "Form2")
        r.spy.click("Form2", "Command1")
        r.spy.wait("Form3", "visible")
        if code == "EN":
            check_window(r, "Form3", dpi, caption=True)
        take("Form3", "Label2", "accept")
        take("Form3", "Label3", "decline")
        r.choose("Option2")
        take("Form3", "Command1", "uninstall")
        r.choose("Option1")
        take("Form3", "Command1", "finish")
        r.screenshot("terms", "Form3")
        r.spy.click("Form3", "Command1")
        expect_equal(r.exit_code(), 0, "Termgate.exe's exit code")
    finally:
        r.finish()
    return found


@scenario
def captions_at_every_dpi(session):
    """At 96, 120 and 144 dpi: windows and controls scaled from twips, and every caption of every
    language measured against its control; nothing that fits at 96 dpi is cut off later."""
    results = {}
    try:
        for dpi in (96, 120, 144):
            session.set_dpi(dpi)
            for code, file, locale in CAPTION_CASES:
                results[(dpi, code)] = measure_captions(session, dpi, code, file, locale)
    finally:
        session.set_dpi(session.state.get("dpi", 96))

    cut_off = {dpi: sorted((code, what, text) for (d, code), found in results.items()
                           if d == dpi for what, (text, fit, _) in found.items() if not fit)
               for dpi in (96, 120, 144)}
    for dpi, captions in cut_off.items():
        listed = ", ".join(f"{code} {what} {text!r}" for code, what, text in captions) or "none"
        print(f"captions that do not fit at {dpi} dpi: {listed}")
    for dpi in (120, 144):
        worse = sorted(set(cut_off[dpi]) - set(cut_off[96]))
        expect(not worse, f"cut off at {dpi} dpi but not at 96 dpi: {worse}")


def soak_run(session, name, decline):
    r = Run(session, name, screenshots=False)
    try:
        r.spy.wait("Form2", "visible")
        r.spy.click("Form2", "Command1")
        r.spy.wait("Form3", "visible")
        if decline:
            r.choose("Option2", "Uninstall")
            r.spy.click("Form3", "Command1")
            r.spy.answer("ok")
            time.sleep(0.2)
            expect_equal(r.spy.msgbox()["text"], NOTICE, "the notice")
            r.spy.answer("ok")
        else:
            r.choose("Option1", "Finish")
            r.spy.click("Form3", "Command1")
        expect_equal(r.exit_code(), 0, "Termgate.exe's exit code")
        if decline:
            r.expect_toolbar_unregistered()
        else:
            r.expect_toolbar_untouched()
    finally:
        r.finish()
    expect_no_leftovers(session)


@scenario
def soak(session):
    """The decline-and-confirm flow and the accept flow, 25 times each from a fresh start."""
    passed = 0
    failures = []
    for round_number in range(25):
        for decline in (True, False):
            name = f"soak-{round_number + 1}-{'decline' if decline else 'accept'}"
            try:
                soak_run(session, name, decline)
                passed += 1
            except AssertionError as failure:
                failures.append(f"{name}: {failure}")
                session.kill_windows_programs()
    print(f"soak: {passed}/50 runs passed")
    expect(not failures, "\n".join(failures))
