"""The two windows as the layout draws them at 96 dpi, a Close that does nothing, and the
keyboard."""

import pytest

from driver import program
from driver.waiting import wait_until
from layout import check_window

DPI = 96


@pytest.fixture
def windows(pytestconfig):
    trace = pytestconfig.getoption("termgate_trace")
    return {name: program.form(name, trace) for name in ("Form2", "Form3")}


def try_to_close(run, form):
    for how in ("wm_close", "sc_close", "alt_f4"):
        run.spy.must("close", form, how)


def test_windows_at_96_dpi_and_a_close_that_does_nothing(start, windows):
    """After each way of closing a window, a keystroke that comes after them in the queue does
    its work: so they were all taken, and the window stayed."""
    run = start()
    run.welcome()
    check_window(run, windows["Form2"], DPI)
    try_to_close(run, "Form2")
    run.spy.key("ENTER", "Form2")
    run.spy.wait("Form3", "visible")
    check_window(run, windows["Form3"], DPI)
    try_to_close(run, "Form3")
    run.spy.key("SPACE", "Form3")
    run.await_choice("Option1", "Finish")
    assert run.spy.window("Form3")["visible"] and run.process.poll() is None


def test_the_keyboard_works_as_in_a_dialog(start):
    run = start()
    run.welcome()
    run.spy.key("ENTER", "Form2")
    run.spy.wait("Form3", "visible")
    run.spy.key("SPACE", "Form3")
    run.await_choice("Option1", "Finish")
    run.screenshot("focus-on-accept", "Form3")
    run.spy.key("DOWN", "Form3")
    controls = run.await_choice("Option2", "Uninstall")
    assert (controls["Option1"]["checked"], controls["Option2"]["checked"]) == (0, 1)
    run.spy.key("UP,TAB", "Form3")
    run.await_choice("Option1", "Finish")
    wait_until(lambda: run.spy.must("focus", "Form3")["focus"] == "Command1",
               "Tab to move the focus to the button")
    run.spy.key("SPACE", "Form3")
    assert run.exit_code() == 0
    assert run.unregistered(both=False) == {}
