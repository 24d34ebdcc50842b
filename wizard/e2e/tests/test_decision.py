"""The one decision the wizard exists for: only a person's fresh answer decides, and a confirmed
decision stands however the wizard then ends."""

import pytest

from driver.waiting import wait_until
from driver.wizard import by_system_regsvr32
from texts import (DECLINE_TITLE, ENGLISH_MESSAGE, EXIT_ENDED_FROM_OUTSIDE, IDABORT, IDNO, IDOK,
                   IDYES, NOTICE, SC_CLOSE, STN_CLICKED, WM_CLOSE, WM_COMMAND, WM_SYSCOMMAND)


def at_terms(run):
    run.welcome()
    run.next()


def at_confirmation(run):
    at_terms(run)
    run.choose("Option2", "Uninstall")
    return run.press_button()


def at_notice(run):
    at_confirmation(run)
    run.answer("ok")
    return run.next_box()


def unregistered_once_each_by_the_system(run):
    marks = run.unregistered()
    return sorted(marks) == [1, 2] and all(
        len(who) == 1 and by_system_regsvr32(who[0]) for who in marks.values())


def test_a_confirmed_decline_unregisters_both_libraries(start, wine):
    run = start()
    notice = at_notice(run)
    assert (notice["title"], notice["text"]) == ("", NOTICE)
    assert [b["id"] for b in notice["buttons"]] == [IDOK]
    assert not run.spy.window("Form3")["visible"], "the terms window came back"
    run.answer("ok")
    assert run.exit_code() == 0
    assert unregistered_once_each_by_the_system(run), run.unregistered(both=False)
    assert wine.wait_for_programs_to_end(("termgate.exe", "cmd.exe", "regsvr32.exe"), 10) == []


def test_one_question_at_a_time(start):
    """While the confirmation is open, clicks that reach the hidden window (a button, an option,
    an option's words, a screen reader's default action) do nothing: one box, the choice kept."""
    run = start(language_file=b"DE\r\n")
    at_confirmation(run)
    label = run.spy.controls("Form3")["Label2"]
    for control in ("Command1", "Option1", "Command1"):
        run.spy.click("Form3", control)
    run.spy.post("Form3", WM_COMMAND, (STN_CLICKED << 16) | label["id"], label["hwnd"])
    assert not run.spy.must("accessible-do", "Form3", "Option1")["succeeded"]
    box = run.spy.msgbox()
    assert (box["count"], box["title"]) == (1, DECLINE_TITLE)
    controls = run.spy.controls("Form3")
    assert (controls["Option1"]["checked"], controls["Option2"]["checked"]) == (0, 1)
    assert not run.spy.window("Form3")["visible"]
    run.answer("cancel")
    run.spy.wait("Form3", "visible")
    run.await_choice("Option1", "Ende")


# Ways the confirmation ends without OK; each is Cancel.
NOT_OK = {
    "Cancel": lambda run: run.answer("cancel"),
    "Escape": lambda run: run.spy.key("ESCAPE", "box"),
    "the close box": lambda run: run.spy.post("box", WM_SYSCOMMAND, SC_CLOSE),
    "a close request": lambda run: run.spy.post("box", WM_CLOSE),
    "IDYES posted": lambda run: run.spy.post("box", WM_COMMAND, IDYES),
    "IDNO posted": lambda run: run.spy.post("box", WM_COMMAND, IDNO),
    "IDABORT posted": lambda run: run.spy.post("box", WM_COMMAND, IDABORT),
}


@pytest.mark.parametrize("ending", NOT_OK)
def test_a_confirmation_ended_without_ok_is_cancel(start, ending):
    run = start()
    at_confirmation(run)
    NOT_OK[ending](run)
    run.spy.wait("Form3", "visible")
    run.await_choice("Option1", "Finish")
    run.spy.click("Form3", "Command1")
    assert run.exit_code() == 0
    assert run.unregistered(both=False) == {}


def quit_message(run, wine):
    run.spy.must("post-quit", "Form2")


def session_end(run, wine):
    wine.end_session()


ENDED_FROM_OUTSIDE = {"a quit message": quit_message, "the session's end": session_end}
BEFORE_OK = {"at the welcome window": lambda run: run.welcome(), "at the terms": at_terms,
             "at the confirmation": at_confirmation}


@pytest.mark.parametrize("how", ENDED_FROM_OUTSIDE)
@pytest.mark.parametrize("moment", BEFORE_OK)
def test_ended_from_outside_before_ok_starts_nothing(start, wine, moment, how):
    run = start()
    BEFORE_OK[moment](run)
    ENDED_FROM_OUTSIDE[how](run, wine)
    assert run.exit_code() == EXIT_ENDED_FROM_OUTSIDE
    assert wine.wait_for_programs_to_end(("termgate.exe", "cmd.exe", "regsvr32.exe"), 10) == []
    assert run.unregistered(both=False) == {}


# Ways the notice ends, and Termgate's exit status after each: the decision stands.
NOTICE_ENDINGS = {
    "OK": (lambda run, wine: run.answer("ok"), 0),
    "Escape": (lambda run, wine: run.spy.key("ESCAPE", "box"), 0),
    "the close box": (lambda run, wine: run.spy.post("box", WM_SYSCOMMAND, SC_CLOSE), 0),
    "a close request": (lambda run, wine: run.spy.post("box", WM_CLOSE), 0),
    "a quit message": (quit_message, EXIT_ENDED_FROM_OUTSIDE),
    "the session's end": (session_end, EXIT_ENDED_FROM_OUTSIDE),
}


@pytest.mark.parametrize("ending", NOTICE_ENDINGS)
def test_a_confirmed_decline_stands_however_the_notice_ends(start, ending, wine):
    run = start()
    at_notice(run)
    end, status = NOTICE_ENDINGS[ending]
    end(run, wine)
    assert run.exit_code() == status
    assert unregistered_once_each_by_the_system(run), run.unregistered(both=False)


def pushed(run, button="OK"):
    box = run.spy.msgbox()
    return next(b for b in box["buttons"] if b["text"] == button)["pushed"] and box


def test_only_a_fresh_key_press_answers_a_box(start):
    """Enter on the Uninstall button opens the confirmation; a second Enter typed ahead and the
    keyboard's auto-repeat do not answer it. Space held from the confirmation into the notice
    does not answer the notice. A fresh press answers each."""
    run = start()
    at_terms(run)
    run.spy.key("DOWN,TAB", "Form3")
    run.await_choice("Option2", "Uninstall")
    assert run.spy.must("focus", "Form3")["focus"] == "Command1"

    run.spy.key("ENTER:down,ENTER:up,ENTER:down,ENTER:down,ENTER:up", "Form3")
    assert run.spy.msgbox()["text"] == ENGLISH_MESSAGE
    # A fresh Space pushes OK in; by then the keys before it have been taken.
    run.spy.key("SPACE:down", "box")
    box = wait_until(lambda: pushed(run), "OK in the confirmation to be pushed in")
    assert (box["count"], box["text"]) == (1, ENGLISH_MESSAGE)

    run.spy.key("SPACE:up,SPACE:down,SPACE:down", "box")
    assert wait_until(lambda: run.spy.msgbox()["text"] == NOTICE, "the notice")
    run.spy.key("SPACE:up,SPACE:down", "box")
    box = wait_until(lambda: pushed(run), "OK in the notice to be pushed in")
    assert box["text"] == NOTICE
    assert run.unregistered(both=False) == {}, "the notice was answered by a held key"

    run.spy.key("SPACE:up", "box")
    assert run.exit_code() == 0
    assert unregistered_once_each_by_the_system(run)


@pytest.mark.parametrize("label, option, caption", [("Label3", "Option2", "Uninstall"),
                                                    ("Label2", "Option1", "Finish")])
def test_clicking_an_options_words_chooses_it(start, wine, label, option, caption):
    run = start()
    at_terms(run)
    origin = run.spy.window("Form3")["clientOrigin"]
    left, top, right, bottom = run.spy.controls("Form3")[label]["rect"]
    wine.click(origin[0] + (left + right) // 2, origin[1] + (top + bottom) // 2)
    controls = run.await_choice(option, caption)
    assert run.spy.must("focus", "Form3")["focus"] == option
    assert sum(controls[name]["checked"] for name in ("Option1", "Option2")) == 1
