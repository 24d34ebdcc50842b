"""The one decision the wizard exists for: only a person's own fresh input answers a box, nothing
another program posts or sends does, one wizard runs at a time, and a confirmed decision stands
however the wizard, or its process, then ends."""

import pytest

from driver.processes import stop_process
from driver.texts import (BM_CLICK, BM_SETCHECK, BST_CHECKED, BST_UNCHECKED, DECLINE_TITLE,
                          ENGLISH_MESSAGE, EXIT_ALREADY_RUNNING, EXIT_ENDED_FROM_OUTSIDE, IDABORT,
                          IDNO, IDOK, IDYES, NOTICE, SC_CLOSE, STN_CLICKED, VK_RETURN, WM_CLOSE,
                          WM_COMMAND, WM_KEYDOWN, WM_KEYUP, WM_SYSCOMMAND)
from driver.waiting import wait_until
from driver.wine import Prefix, Unsupported, pe_arch
from driver.wizard import PROGRAMS, Run, by_system_regsvr32


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
    """The commands start at the confirmation's OK and run while the notice is open; their
    windows, minimized, leave it the active window, where the person's keys go."""
    run = start()
    notice = at_notice(run)
    assert (notice["title"], notice["text"]) == ("", NOTICE)
    assert [b["id"] for b in notice["buttons"]] == [IDOK]
    assert not run.spy.window("Form3")["visible"], "the terms window came back"
    assert unregistered_once_each_by_the_system(run), run.unregistered(both=False)
    assert run.spy.msgbox()["foreground"], "the commands' windows took the activation"
    run.answer("ok")
    assert run.exit_code() == 0
    assert wine.wait_for_programs_to_end(PROGRAMS, 10) == []


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


ENTER_DOWN, ENTER_UP = 0x001C0001, 0xC01C0001  # lParam: scan code 0x1C, once, not held before
# What another program can do to the open confirmation without the keyboard or mouse. Each must
# leave it open.
FORGED = {
    "Enter posted to OK": [("post", "box.1", WM_KEYDOWN, VK_RETURN, ENTER_DOWN),
                           ("post", "box.1", WM_KEYUP, VK_RETURN, ENTER_UP)],
    "Enter sent to OK": [("send", "box.1", WM_KEYDOWN, VK_RETURN, ENTER_DOWN),
                         ("send", "box.1", WM_KEYUP, VK_RETURN, ENTER_UP)],
    "IDOK posted": [("post", "box", WM_COMMAND, IDOK, 0)],
    "IDOK sent": [("send", "box", WM_COMMAND, IDOK, 0)],
    "a click posted to OK": [("post", "box.1", BM_CLICK, 0, 0)],
    "a click sent to OK": [("send", "box.1", BM_CLICK, 0, 0)],
    "IDYES, IDNO, IDABORT posted": [("post", "box", WM_COMMAND, answer, 0)
                                    for answer in (IDYES, IDNO, IDABORT)],
}
# The two check marks swapped behind the host's back, posted and sent.
SWAPPED = [(how, f"Form3.{option}", BM_SETCHECK, mark, 0) for how in ("post", "send")
           for option, mark in (("Option1", BST_CHECKED), ("Option2", BST_UNCHECKED))]


def forge(run, messages):
    for how, target, message, wparam, lparam in messages:
        getattr(run.spy, how)(target, message, wparam, lparam)


def test_another_programs_messages_decide_nothing(start):
    """Keys, commands and clicks that another program posts or sends to the confirmation leave
    it open; check marks it swaps leave the person's decline a decline."""
    run = start()
    at_confirmation(run)
    for forgery, messages in FORGED.items():
        forge(run, messages)
        box = run.spy.ask("msgbox", 0)
        assert (box.get("count"), box.get("text")) == (1, ENGLISH_MESSAGE), forgery
    assert run.unregistered(both=False) == {}
    run.answer("cancel")

    run.spy.wait("Form3", "visible")
    run.choose("Option2", "Uninstall")
    forge(run, SWAPPED)
    controls = run.spy.controls("Form3")
    assert (controls["Option1"]["checked"], controls["Option2"]["checked"]) == (0, 1)
    assert run.press_button()["text"] == ENGLISH_MESSAGE


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
    assert wine.wait_for_programs_to_end(PROGRAMS, 10) == []
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


def test_a_confirmed_decline_survives_the_process_ended_during_the_notice(start):
    """Ended as Task Manager ends a program, while the notice is still open: both libraries are
    unregistered by then, once each."""
    run = start()
    notice = at_notice(run)
    assert unregistered_once_each_by_the_system(run), run.unregistered(both=False)
    assert run.spy.ask("msgbox", 0).get("text") == NOTICE, "the notice closed by itself"
    # Its Windows exit code: how Wine ends the Linux process of a program terminated from
    # outside varies.
    run.spy.must("watch", notice["pid"])
    run.spy.must("terminate", notice["pid"])
    assert run.spy.must("wait-process", notice["pid"], 20000)["exitCode"] == 1
    assert unregistered_once_each_by_the_system(run), run.unregistered(both=False)


@pytest.fixture
def display_to_lose(tree):
    """A prefix and an Xvfb of their own, which the test takes down."""
    try:
        prefix = Prefix.create(tree.path / "e2e-display-lost" / "session.json",
                               pe_arch(tree.termgate))
    except Unsupported as reason:
        pytest.skip(str(reason))
    yield prefix
    prefix.destroy()


def test_a_confirmed_decline_survives_the_display_lost_during_the_notice(tree, display_to_lose):
    run = Run(display_to_lose, tree, "display-lost", screenshots=None)
    try:
        at_notice(run)
        assert unregistered_once_each_by_the_system(run), run.unregistered(both=False)
        stop_process(display_to_lose.state["xvfb"])
        run.exit_code(timeout=30)
        assert unregistered_once_each_by_the_system(run), run.unregistered(both=False)
    finally:
        run.finish()


def pushed(run, button="OK"):
    box = run.spy.msgbox()
    return next(b for b in box["buttons"] if b["text"] == button)["pushed"] and box


def foreground_box(run):
    return wait_until(lambda: (box := run.spy.msgbox()) and box["foreground"] and box,
                      "a box of Termgate's in the foreground")


def at_the_button_by_keyboard(run, wine):
    at_terms(run)
    wine.xdotool("key", "Down", "Tab")
    run.await_choice("Option2", "Uninstall")
    wait_until(lambda: run.spy.must("focus", "Form3")["focus"] == "Command1",
               "Tab to move the focus to the button")


def answer_the_notice_with_space(run, wine):
    """Presses Space in the notice, which pushes its OK in only if the notice is still open and
    takes the press; releases it, which ends the wizard."""
    wine.xdotool("keydown", "space")
    try:
        box = wait_until(lambda: pushed(run), "OK in the notice to be pushed in")
        assert (box["count"], box["text"]) == (1, NOTICE)
    finally:
        wine.xdotool("keyup", "space")
    assert run.exit_code() == 0
    assert unregistered_once_each_by_the_system(run)


@pytest.mark.parametrize("round_number", range(1, 11))
def test_one_real_key_press_answers_each_box(start, wine, round_number):
    """Real keys from the X server, as a person types them: Enter on the Uninstall button opens
    the confirmation while its key-up goes wherever the keyboard is while Termgate's windows are
    hidden; then one press of Enter answers each box."""
    run = start(screenshots=None)
    at_the_button_by_keyboard(run, wine)
    wine.xdotool("key", "Return")
    assert foreground_box(run)["text"] == ENGLISH_MESSAGE
    wine.xdotool("key", "Return")
    wait_until(lambda: run.spy.msgbox()["text"] == NOTICE, "the notice after one Enter")
    foreground_box(run)
    wine.xdotool("key", "Return")
    assert run.exit_code() == 0
    assert unregistered_once_each_by_the_system(run)


def test_only_a_fresh_key_press_answers_a_box(start, wine):
    """Real keys: Enter typed twice on the Uninstall button opens the confirmation, and the second
    answers nothing; Space held from the confirmation's OK into the notice, and its auto-repeat
    there, answer nothing. A fresh press answers each. Keys are taken in order: a key that shows
    its effect proves that the keys before it were taken."""
    run = start()
    at_the_button_by_keyboard(run, wine)
    wine.xdotool("key", "--delay", "0", "Return", "Return")
    foreground_box(run)
    wine.xdotool("keydown", "space")
    box = wait_until(lambda: pushed(run), "OK in the confirmation to be pushed in")
    assert (box["count"], box["text"]) == (1, ENGLISH_MESSAGE)

    wine.xdotool("keyup", "space", "keydown", "space")
    try:
        wait_until(lambda: run.spy.msgbox()["text"] == NOTICE, "the notice")
        foreground_box(run)
        wine.xdotool("keydown", "space")
    finally:
        wine.xdotool("keyup", "space")
    answer_the_notice_with_space(run, wine)


def test_real_keys_held_or_typed_ahead_answer_nothing(start, wine):
    """Real keys: Enter held down on the Uninstall button opens the confirmation, and the same key
    still down once the box is up (the keyboard's auto-repeat) answers nothing; Enter typed twice
    on the confirmation's OK opens the notice, and the second answers nothing there. A key that
    shows its effect proves that the keys before it were taken."""
    run = start()
    at_the_button_by_keyboard(run, wine)
    wine.xdotool("keydown", "Return")
    try:
        foreground_box(run)
        # The X server sends no second press of a key it holds down; Windows' own input does,
        # as the keyboard's auto-repeat: the system marks it as a key that was down already.
        run.spy.key("ENTER:down", "box")
    finally:
        wine.xdotool("keyup", "Return")
    wine.xdotool("key", "Tab")
    wait_until(lambda: run.spy.must("focus", "box")["focusId"] == 2, "Tab to reach Cancel")
    assert run.spy.msgbox()["text"] == ENGLISH_MESSAGE
    wine.xdotool("key", "shift+Tab")
    wait_until(lambda: run.spy.must("focus", "box")["focusId"] == IDOK, "Tab back to OK")

    wine.xdotool("key", "--delay", "0", "Return", "Return")
    wait_until(lambda: run.spy.msgbox()["text"] == NOTICE, "the notice")
    foreground_box(run)
    answer_the_notice_with_space(run, wine)


def test_a_second_start_shows_nothing_and_ends_at_once(start, wine):
    first = start()
    first.welcome()
    second = wine.start(first.install_dir / "Termgate.exe", cwd=first.install_dir)
    assert second.wait(timeout=30) == EXIT_ALREADY_RUNNING
    assert first.spy.window("Form2")["count"] == 1
    first.next()
    assert first.accept_to_the_end() == 0
    assert first.unregistered(both=False) == {}


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
