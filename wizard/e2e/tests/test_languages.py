"""The wizard's texts in each language a user meets, and what a screen reader reads of the
options: the welcome window, the terms window, both options, the confirmation, Cancel, and the
button that then ends the program without changing anything."""

import pytest

from driver.texts import (DECLINE_TITLE, IDCANCEL, IDOK, DUTCH_MESSAGE, ENGLISH_MESSAGE,
                          GERMAN_MESSAGE, JAPANESE_ACCEPT, JAPANESE_DECLINE, JAPANESE_FILE,
                          ROLE_RADIO_BUTTON)

ENGLISH = ("I accept", "I decline")
DESIGN_TIME = ("I Accept", "I Decline")

# language file, locale, Next, (accept, decline), uninstall caption, finish caption, message
LANGUAGES = {
    "no file": (None, "en_US.UTF-8", "Continue", ENGLISH, "Uninstall", "Finish",
                ENGLISH_MESSAGE),
    "DE": (b"DE\r\n", "en_US.UTF-8", "Weiter", ("Ich stimme zu", "Ich lehne ab"), "Uninstall",
           "Ende", GERMAN_MESSAGE),
    "NL": (b"NL\r\n", "en_US.UTF-8", "Doorgaan", ("Ik ga akkoord", "Ik ga niet akkoord"),
           "Desinstallatie", "Eindig", DUTCH_MESSAGE),
    "JP in code page 932": (JAPANESE_FILE, "ja_JP.UTF-8", "Next",
                            (JAPANESE_ACCEPT, JAPANESE_DECLINE), "Uninstall", "Finish",
                            ENGLISH_MESSAGE),
    "fr, no code": (b"fr\r\n", "en_US.UTF-8", "Next", DESIGN_TIME, "Uninstall", "Finish",
                    ENGLISH_MESSAGE),
}


def read_aloud(run):
    """Each option as a screen reader has it: (name, name through IDispatch, role, checked)."""
    facts = [run.spy.accessible("Form3", option) for option in ("Option1", "Option2")]
    return [(f["name"], f["nameByDispatch"], f["role"], f["checked"]) for f in facts]


def heard(labels, checked):
    return [(label, label, ROLE_RADIO_BUTTON, state) for label, state in zip(labels, checked)]


@pytest.mark.parametrize("language", LANGUAGES)
def test_texts_and_what_a_screen_reader_reads(start, language):
    file, locale, next_caption, labels, uninstall, finish, message = LANGUAGES[language]
    run = start(language_file=file, locale=locale)

    welcome = run.welcome()
    assert welcome["topmost"], "the welcome window is not on top"
    assert run.spy.controls("Form2")["Command1"]["text"] == next_caption

    terms = run.next()
    assert terms["topmost"], "the terms window is not on top"
    assert not run.spy.window("Form2")["visible"], "the welcome window is still shown"
    controls = run.spy.controls("Form3")
    assert (controls["Label2"]["text"], controls["Label3"]["text"]) == labels
    button = controls["Command1"]
    assert not button["visible"] and not button["enabled"], "the button shows before a choice"
    assert read_aloud(run) == heard(labels, (False, False))

    assert run.choose("Option2", uninstall)["Command1"]["enabled"]
    assert read_aloud(run) == heard(labels, (False, True))
    run.choose("Option1", finish)
    run.choose("Option2", uninstall)

    box = run.press_button()
    assert (box["title"], box["text"]) == (DECLINE_TITLE, message)
    # The system names the buttons in its own language; what matters is which they are.
    assert [b["id"] for b in box["buttons"]] == [IDOK, IDCANCEL]
    assert not run.spy.window("Form3")["visible"], "the terms window shows behind the box"

    run.answer("cancel")
    run.spy.wait("Form3", "visible")
    after = run.await_choice("Option1", finish)
    assert (after["Option1"]["checked"], after["Option2"]["checked"]) == (1, 0)
    assert after["Command1"]["visible"] and after["Command1"]["enabled"]
    assert read_aloud(run) == heard(labels, (True, False))
    focus = run.spy.must("focus", "Form3")["focus"]
    assert focus in ("Command1", "Option1"), f"after Cancel the focus is on {focus}"

    run.spy.click("Form3", "Command1")
    assert run.exit_code() == 0
    assert run.unregistered(both=False) == {}
