#!/usr/bin/env python3
"""tools/run-wizard: builds Termgate.exe and runs it under Wine, for a person or headless.
`tools/run-wizard --help` tells how; usage() below is that text."""

import argparse
import fcntl
import hashlib
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

STARTED = time.monotonic()
REPO = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(REPO / "wizard" / "e2e"))

from driver import program  # noqa: E402
from driver.texts import NOTICE  # noqa: E402
from driver.wine import Prefix, Unsupported, cannot_run_32bit, pe_arch  # noqa: E402
from driver.wizard import COMMANDS, BuildTree, Run, by_system_regsvr32  # noqa: E402
from driver.wizard import unregistered_libraries  # noqa: E402
from driver.waiting import wait_until  # noqa: E402

HEADLESS_SCREEN = "1280x800"  # the smallest screen the two windows fit on whole
COMMANDS_TIMEOUT = 30  # seconds the uninstall commands get after Termgate has ended
USAGE_ERROR, INTERRUPTED = 2, 130


def codes_from_the_source():
    """The codes as termgate-trace --describe gives them, read from the table it reads them from
    (kKnownCodes), for a usage asked for before anything is built."""
    source = (REPO / "wizard" / "logic" / "language_setting.h").read_text(encoding="utf-8")
    from_file = re.search(r'kCaptionsFromFileCode = u"(\w+)"', source).group(1)
    table = source[source.index("kKnownCodes{"):]
    table = table[:table.index("};")]
    return [{"code": from_file if code == "kCaptionsFromFileCode" else code.strip('u"'),
             "language": language, "optionCaptionsFromFile": code == "kCaptionsFromFileCode"}
            for code, language in re.findall(r'KnownCode\{(u"\w+"|kCaptionsFromFileCode), '
                                             r'u"(\w+)"\}', table)]


def known_codes():
    """The codes the wizard knows, from termgate-trace --describe, as the usage lists them; from
    the wizard's sources where termgate-trace is not built yet."""
    try:
        known = program.codes()
    except (OSError, subprocess.SubprocessError):
        known = codes_from_the_source()
    cells = [f"{c['code']} {c['language']}" for c in known if not c["optionCaptionsFromFile"]]
    lines = ["  " + "".join(f"{cell:<15}" for cell in cells[i:i + 5]).rstrip()
             for i in range(0, len(cells), 5)]
    for c in known:
        if c["optionCaptionsFromFile"]:
            lines.append(f"  {c['code']} {c['language']}: the file holds three lines in code page "
                         f"932, {c['code']} and the two option\n     captions, and Termgate runs "
                         "under a Japanese locale (ANSI code page 932)")
    return "\n".join(lines)


def usage():
    return f"""\
usage: tools/run-wizard [--headless] [--decline] [CODE]
       tools/run-wizard [--headless] [--decline] JP ACCEPT_CAPTION DECLINE_CAPTION
       tools/run-wizard --help

Builds Termgate.exe (preset windows, or windows-x64 where this machine cannot run 32-bit
Windows programs) and runs it under Wine, in a prefix that is kept from one run to the next.

CODE becomes the first line of c:\\Kelvarn\\Q-Harbor\\Lang.ini, in code page 1252; without it
the file is missing and the texts are English. The codes the wizard knows:
{known_codes()}
Any other text is written as it is (the wizard then keeps its design-time texts), as long as
code page 1252 can hold it; a code that it cannot hold, a missing caption or an unknown option
ends with a one-line error and exit status 2 before anything starts.

With a display (DISPLAY set), the wizard opens there on a Wine desktop the size of the screen
and a person uses it; this waits until Termgate ends. With --decline, or without a display, or
with --headless (a private {HEADLESS_SCREEN} Xvfb), it walks the wizard itself, where a person
can watch: welcome, Next, accept, the button; with --decline it declines instead, presses the
button, OK in the confirmation and OK in the notice, and then expects both libraries to be
unregistered. The page areas stay blank: Wine has no HTML engine here.

When Termgate has ended, this waits up to {COMMANDS_TIMEOUT} s for the uninstall commands it
started, then prints one line: Termgate's exit status and which of the two stand-in toolbar
libraries (%ProgramFiles%\\quillon\\quillontoolbar1.dll and 2.dll) were unregistered, and by
which program. Nothing it started is left running, also after Ctrl-C.

What a run writes, in build/PRESET/run-wizard/:
  prefix/        the Wine prefix; made anew only when it is missing, broken or of an older
                 layout (delete it to start afresh)
  screenshots/   walked runs: CODE-PATH-N-WHAT.png, e.g. DE-decline-3-confirmation.png
                 (CODE is "none" without a code, and shortened past 24 characters); one name
                 per code and path
  wine.log       what Wine printed during the last run
  session.json   what the running run started, for clean-up after an interruption

Options:
  --headless   run on a private Xvfb even when a display is set
  --decline    walk the decline path (on the display, when there is one)
  --tree DIR   run the Termgate.exe already built in build tree DIR: no packages, no build
  -h, --help   print this text

Exit status: 0 when the run went through (a walked run: the wizard ended with status 0 and
changed what its path changes, nothing more), 1 when it did not, 2 for a usage error, 130 when
interrupted."""


class UsageError(Exception):
    pass


class Failure(Exception):
    pass


class Parser(argparse.ArgumentParser):
    def error(self, message):
        raise UsageError(message)


def parse(argv):
    parser = Parser(prog="run-wizard", add_help=False)
    parser.add_argument("-h", "--help", action="store_true")
    parser.add_argument("--headless", action="store_true")
    parser.add_argument("--decline", action="store_true")
    parser.add_argument("--tree", type=Path)
    parser.add_argument("words", nargs="*")
    args = parser.parse_args(argv)
    if args.help:
        return args
    words = args.words
    if len(words) > 1 and words[0] != "JP":
        raise UsageError(f"one code only, got {len(words)} arguments (only JP takes captions)")
    if words[:1] == ["JP"] and len(words) != 3:
        raise UsageError("JP needs two captions: JP ACCEPT_CAPTION DECLINE_CAPTION")
    for word in words:
        if re.search(r"[\r\n]", word):
            raise UsageError(f"{word!r} holds a line break; each value is one line")
    code_page = "cp932" if words[:1] == ["JP"] else "cp1252"
    try:
        lines = [word.encode(code_page) for word in words]
    except UnicodeEncodeError as error:
        text = error.object.encode(errors="replace").decode(errors="replace")
        raise UsageError(f"{text!r} cannot be written in code page {code_page[2:]}") from None
    args.language_file = b"".join(line + b"\r\n" for line in lines) if lines else None
    if args.tree and not (args.tree / "wizard" / "win32" / "Termgate.exe").is_file():
        raise UsageError(f"{args.tree} holds no wizard/win32/Termgate.exe")
    return args


def build():
    """Installs what is missing and builds; returns the build tree."""
    subprocess.run([REPO / "tools" / "install-dependencies", "all"], check=True)
    preset = "windows"
    reason = cannot_run_32bit()
    if reason:
        print(f"note: this machine cannot run 32-bit Windows programs ({reason}); running the "
              "64-bit build", file=sys.stderr)
        preset = "windows-x64"
    tree = REPO / "build" / preset
    if not (tree / "build.ninja").exists():
        subprocess.run(["cmake", "--preset", preset], cwd=REPO, check=True,
                       stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", preset], cwd=REPO, check=True)
    return tree


def screen_size(display):
    try:
        info = subprocess.run(["xdpyinfo", "-display", display], capture_output=True,
                              text=True, timeout=10, check=False)
    except (OSError, subprocess.TimeoutExpired) as error:
        raise Failure(f"cannot ask display {display} for its size: {error}") from None
    found = re.search(r"dimensions:\s+(\d+x\d+) pixels", info.stdout)
    if not found:
        raise Failure(f"cannot open display {display!r} (xdpyinfo: "
                      f"{info.stderr.strip() or 'no screen size'})")
    return found.group(1)


def short_name(code):
    """A file-name-safe form of the code, short whatever the code: a long one keeps its first
    16 characters and a digest of the rest."""
    name = re.sub(r"[^A-Za-z0-9_]", "_", code) or "empty"
    if len(name) > 24:
        name = f"{name[:16]}-{hashlib.sha1(code.encode()).hexdigest()[:7]}"
    return name


def since_start():
    return f"{time.monotonic() - STARTED:.1f} s"


def on_screen(window, screen):
    """Whether the window lies wholly on the screen ("WIDTHxHEIGHT")."""
    width, height = (int(n) for n in screen.split("x"))
    left, top, right, bottom = window["windowRect"]
    return left >= 0 and top >= 0 and right <= width and bottom <= height


def expect_on_screen(window, screen):
    if not on_screen(window, screen):
        raise Failure(f"{window['className']} at {window['windowRect']} is not wholly on "
                      f"the {screen} screen")


def note_if_cut(window, screen):
    if not on_screen(window, screen):
        left, top, right, bottom = window["windowRect"]
        print(f"note: on this {screen} screen the {window['className']} window "
              f"({right - left}x{bottom - top}) does not fit whole; its title bar stays on it",
              file=sys.stderr, flush=True)


def watch(wizard, screen):
    """A person's run: notes each window that does not fit the screen as it comes up; returns
    Termgate's exit status once it has ended."""
    spy = wizard.spy
    shown = set()

    def next_window_or_end():
        for form in ("Form2", "Form3"):
            window = spy.window(form)
            if form not in shown and window.get("visible"):
                shown.add(form)
                note_if_cut(window, screen)
        return wizard.process.poll() is not None or len(shown) == 2

    while wizard.process.poll() is None and len(shown) < 2:
        wait_until(next_window_or_end, "the next window or the end of Termgate",
                   timeout=24 * 3600)
    return wizard.process.wait()


def walk(wizard, decline, screen, own_screen):
    """Goes through the wizard as a person would; returns Termgate's exit status. On a screen
    of its own the windows must fit; on a person's they are only noted when they do not."""
    check = expect_on_screen if own_screen else note_if_cut
    check(wizard.welcome(), screen)
    print(f"{wizard.screenshot('welcome', 'Form2')} ({since_start()} after start)")
    check(wizard.next(), screen)
    wizard.choose("Option2" if decline else "Option1")
    print(wizard.screenshot("terms", "Form3"))
    if decline:
        wizard.press_button()
        print(wizard.screenshot("confirmation"))
        wizard.answer("ok")
        notice = wizard.next_box()
        if notice["text"] != NOTICE:
            raise Failure(f"expected the notice {NOTICE!r}, got {notice['text']!r}")
        print(wizard.screenshot("notice"))
        wizard.answer("ok")
    else:
        wizard.spy.click("Form3", "Command1")
    try:
        return wizard.exit_code()
    except subprocess.TimeoutExpired:
        raise Failure("Termgate.exe still runs 20 s after its last window") from None


def wait_for_commands(prefix):
    """Waits until no uninstall command of the prefix runs; returns those still running."""
    started = time.monotonic()
    running = prefix.running_programs(COMMANDS)
    if not running:
        return []
    print(f"waiting (up to {COMMANDS_TIMEOUT} s) for {len(running)} uninstall command "
          "processes to end", flush=True)
    running = prefix.wait_for_programs_to_end(COMMANDS, COMMANDS_TIMEOUT)
    if not running:
        print(f"they ended after {time.monotonic() - started:.1f} s", flush=True)
    return running


def summary(status, marks):
    libraries = ", ".join(
        f"quillontoolbar{n}.dll " + (f"unregistered by {' and '.join(marks[n])}" if n in marks
                                     else "not unregistered") for n in (1, 2))
    return f"summary: Termgate.exe exited with status {status}; {libraries}"


def run(args):
    tree = BuildTree(args.tree.resolve() if args.tree else build())
    arch = pe_arch(tree.termgate)
    headless = args.headless or not os.environ.get("DISPLAY")
    display = "" if headless else os.environ["DISPLAY"]
    screen = HEADLESS_SCREEN if headless else screen_size(display)
    walked = headless or args.decline
    work = tree.path / "run-wizard"
    work.mkdir(parents=True, exist_ok=True)
    lock = open(work / "lock", "w")  # pylint: disable=consider-using-with
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        raise Failure(f"another run-wizard is using {work}; let it end first") from None
    (work / "wine.log").write_bytes(b"")
    state = work / "session.json"
    prefix = None
    try:
        print(f"Wine prefix {work / 'prefix'}: checking", flush=True)
        try:
            prefix = Prefix.create(state, arch, screen=screen, display=display, keep=True,
                                   detach=True)
        except Unsupported as reason:
            raise Failure(str(reason)) from None
        how = "kept" if prefix.state["kept"] else f"made anew ({prefix.state['made_anew']})"
        xvfb = prefix.state["xvfb"]
        server = f", Xvfb process {xvfb['pid']}" if xvfb else ""
        print(f"Wine prefix {how}; desktop {screen} on display {prefix.state['display']}{server} "
              f"({since_start()} after start)", flush=True)
        locale = "ja_JP.UTF-8" if args.words[:1] == ["JP"] else "en_US.UTF-8"
        name = short_name(args.words[0]) if args.words else "none"
        path = "decline" if args.decline else "accept"
        wizard = Run(prefix, tree, f"{name}-{path}", language_file=args.language_file,
                     locale=locale, screenshots=work / "screenshots", settled=True,
                     screenshot_steps=False)
        try:
            if walked:
                status = walk(wizard, args.decline, screen, headless)
            else:
                print(f"Termgate is open on display {display}; it ends with its own button "
                      "(Ctrl-C stops it).", flush=True)
                status = watch(wizard, screen)
        finally:
            wizard.spy.close()
        left = wait_for_commands(prefix)
        marks = unregistered_libraries(prefix)
        print(summary(status, marks), flush=True)
        if left:
            raise Failure(f"the uninstall commands still run {COMMANDS_TIMEOUT} s after "
                          f"Termgate ended: {'; '.join(left)}")
        if status != 0:
            raise Failure(f"Termgate.exe ended with status {status}")
        if walked:
            by_system = all(by_system_regsvr32(who) for whos in marks.values() for who in whos)
            wanted = [1, 2] if args.decline else []
            if sorted(marks) != wanted or not by_system:
                raise Failure(f"after {path} expected {wanted or 'no'} libraries unregistered "
                              "by the system's regsvr32.exe")
        return 0
    finally:
        # A second Ctrl-C must not cut the clean-up short.
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        if prefix is None and state.exists():
            prefix = Prefix.load(state)
        if prefix is not None:
            prefix.destroy()
        state.unlink(missing_ok=True)


interrupted = []


def interrupt(signum, frame):
    interrupted.append(signum)
    raise KeyboardInterrupt


def main():
    try:
        args = parse(sys.argv[1:])
    except UsageError as error:
        print(f"run-wizard: {error} (see --help)", file=sys.stderr)
        return USAGE_ERROR
    if args.help:
        print(usage())
        return 0
    signal.signal(signal.SIGINT, interrupt)
    signal.signal(signal.SIGTERM, interrupt)
    try:
        try:
            return run(args)
        except Exception as error:  # pylint: disable=broad-except
            # A Ctrl-C also reaches the programs in the terminal's process group (a build,
            # Wine booting the prefix), whose failure may surface before the interrupt does.
            if interrupted:
                raise KeyboardInterrupt from None
            if not isinstance(error, (Failure, AssertionError, OSError,
                                      subprocess.SubprocessError)):
                raise
            print(f"run-wizard: {error}", file=sys.stderr)
            return 1
    except KeyboardInterrupt:
        print("run-wizard: interrupted; stopped everything it had started", file=sys.stderr)
        return INTERRUPTED


if __name__ == "__main__":
    sys.exit(main())
