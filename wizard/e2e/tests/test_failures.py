"""What goes wrong around the wizard, and how it ends: an empty language file, missing pages,
programs planted beside it, a browser control that cannot be made, messages forged by another
program."""

import re

import pytest

from driver.texts import ERROR_TITLE, WM_DPICHANGED, WM_GETDPISCALEDSIZE
from driver.wizard import by_system_regsvr32

WEB_BROWSER = r"HKLM\Software\Classes\CLSID\{8856F961-340A-11D0-A96B-00C04FD705A2}\InprocServer32"


def access_violations(wine, run):
    """The access violations Wine's +seh channel logged since the run began."""
    return [line for line in wine.log_since(run.log_from)
            if re.search(r"code=c0000005|page fault", line)]


def error_box_and_exit_code(run):
    """The error box, and Termgate's own exit code (a Linux status keeps only eight bits)."""
    box = run.spy.msgbox()
    run.spy.must("watch", box["pid"])
    run.answer("ok")
    return box, run.spy.must("wait-process", box["pid"], 20000)["exitCode"]


def test_an_empty_language_file_is_reported_and_ends_the_program(start):
    run = start(language_file=b"")
    box, code = error_box_and_exit_code(run)
    assert (box["title"], box["text"]) == (ERROR_TITLE,
                                           "Run-time error '62':\r\n\r\nInput past end of file")
    assert code == 62
    assert not run.spy.window("Form2").get("visible"), "the welcome window was shown"
    assert run.unregistered(both=False) == {}


def test_without_its_pages_the_wizard_still_works(start):
    run = start(pages=False)
    run.welcome()
    welcome = run.spy.controls("Form2")
    assert welcome["Command1"]["text"] == "Continue"
    assert welcome["WebBrowser1"]["visible"], "no browser control on the welcome window"
    run.next()
    terms = run.spy.controls("Form3")
    assert (terms["Label2"]["text"], terms["Label3"]["text"]) == ("I accept", "I decline")
    assert terms["WebBrowser2"]["visible"], "no browser control on the terms window"
    assert run.accept_to_the_end() == 0
    assert run.unregistered(both=False) == {}


def test_programs_planted_beside_it_never_run(start, tree, wine):
    """A cmd.exe and a regsvr32.exe beside the program and in its current directory: the
    system's own run, the planted ones never."""
    planted = [tree.e2e / "planted" / name for name in ("cmd.exe", "regsvr32.exe")]
    cwd = wine.drive_c / "planted-cwd"
    run = start(plant=planted, cwd=cwd)
    run.welcome()
    run.next()
    assert run.decline_to_the_end()[1] == 0
    marks = run.unregistered()
    assert sorted(marks) == [1, 2] and all(by_system_regsvr32(w[0]) for w in marks.values())
    ran = wine.drive_c / "planted-ran"
    assert not ran.exists() or not list(ran.iterdir())


def test_a_browser_control_that_cannot_be_made_is_reported(start, wine):
    """The terms window's browser control cannot be made (its class is registered to a library
    that is not there): the error box, exit code 429, and no access violation on the way out."""
    original = wine.reg_query(WEB_BROWSER)
    run = start(winedebug="+seh")
    try:
        run.welcome()
        wine.reg_add(WEB_BROWSER, None, r"C:\windows\system32\nowhere.dll")
        run.spy.click("Form2", "Command1")
        box, code = error_box_and_exit_code(run)
    finally:
        wine.reg_add(WEB_BROWSER, None, original)
    assert (box["title"], box["text"]) == (
        ERROR_TITLE, "Run-time error '429':\r\n\r\nActiveX component can't create object")
    assert code == 429
    assert access_violations(wine, run) == []


@pytest.mark.parametrize("how", ["post", "send"])
def test_dpi_messages_from_another_program_are_ignored(start, wine, how):
    """Only the system sends these two, with pointers of its own; posted or sent by another
    program with a bogus pointer they must neither touch that pointer nor move anything, and the
    window goes on working."""
    run = start(winedebug="+seh")
    run.welcome()
    before = run.next()
    forge = getattr(run.spy, how)
    forge("Form3", WM_DPICHANGED, (144 << 16) | 144, 0x1234)
    forge("Form3", WM_GETDPISCALEDSIZE, 144, 0x1234)
    run.choose("Option2", "Uninstall")
    after = run.spy.window("Form3")
    assert (after["windowRect"], after["dpi"]) == (before["windowRect"], before["dpi"])
    assert run.process.poll() is None
    assert access_violations(wine, run) == []
