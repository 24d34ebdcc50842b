"""Every caption of every language measured against its control at 96, 120 and 144 dpi, with the
windows scaled from twips: nothing that fits at 96 dpi is cut off at a higher one."""

import pytest

pytestmark = pytest.mark.once_per_machine

from driver.program import codes, form
from driver.texts import JAPANESE_FILE
from layout import check_window

DPIS = (96, 120, 144)
# Room a caption needs inside its control: a label's text runs up to its edges; a push button
# draws a frame and a focus rectangle around its text.
BUTTON_MARGIN = (8, 4)
SHOWN = ("EN", "DE", "JP")  # the languages whose windows are kept as screenshots


def language_files(trace):
    """Every code the wizard knows, and "fr", which is none: (name, file, locale)."""
    files = []
    for known in codes(trace):
        if known["optionCaptionsFromFile"]:
            files.append((known["code"], JAPANESE_FILE, "ja_JP.UTF-8"))
        else:
            files.append((known["code"], f"{known['code']}\r\n".encode(), "en_US.UTF-8"))
    return files + [("fr", b"fr\r\n", "en_US.UTF-8")]


def pytest_generate_tests(metafunc):
    if "dpi" in metafunc.fixturenames:
        trace = metafunc.config.getoption("termgate_trace")
        cases = [(dpi, *language) for dpi in DPIS for language in language_files(trace)]
        metafunc.parametrize("dpi, code, file, locale", cases,
                             ids=[f"{dpi}dpi-{code}" for dpi, code, _, _ in cases])


def fits(measure, button):
    width, height = BUTTON_MARGIN if button else (0, 0)
    return measure["textWidth"] <= measure["controlWidth"] - width and \
        measure["textHeight"] <= measure["controlHeight"] - height


def measure_captions(run, dpi, trace):
    """{what: (caption, fits)} for every caption a user of the run's language sees; the
    windows are checked against the layout on the way."""
    found = {}

    def take(form, control, what):
        measure = run.spy.must("measure", form, control)
        assert measure["dpi"] == dpi
        found[what] = (measure["text"], fits(measure, control == "Command1"))

    run.welcome()
    check_window(run, form("Form2", trace), dpi)
    take("Form2", "Command1", "next")
    run.next()
    check_window(run, form("Form3", trace), dpi)
    take("Form3", "Label2", "accept")
    take("Form3", "Label3", "decline")
    run.choose("Option2")
    take("Form3", "Command1", "uninstall")
    run.choose("Option1")
    take("Form3", "Command1", "finish")
    run.spy.click("Form3", "Command1")
    assert run.exit_code() == 0
    return found


@pytest.fixture(scope="module")
def at_dpi(wine):
    """Sets the screen's DPI; the session's own is back after the module."""
    yield wine.set_dpi
    wine.set_dpi(wine.state["dpi"])


@pytest.fixture(scope="module")
def at_96():
    """What each language measured at 96 dpi, measured once, whichever case needs it first."""
    return {}


def test_captions_fit_as_well_as_at_96_dpi(start, at_dpi, at_96, pytestconfig, screenshots, dpi,
                                           code, file, locale):
    def measure(at):
        at_dpi(at)
        run = start(language_file=file, locale=locale,
                    screenshots=screenshots if code in SHOWN else None)
        return measure_captions(run, at, pytestconfig.getoption("termgate_trace"))

    if code not in at_96:
        at_96[code] = measure(96)
    found = at_96[code] if dpi == 96 else measure(dpi)
    cut_off = [f"{what} {text!r}" for what, (text, fit) in found.items()
               if not fit and at_96[code][what][1]]
    assert cut_off == [], f"cut off at {dpi} dpi but not at 96 dpi: {', '.join(cut_off)}"
