"""The one entry each run writes to the Windows Application event log, which Wine's ReportEventW
prints on its eventlog debug channel: which event, of which type, with which texts."""

import re

import pytest

from driver.texts import EXIT_ALREADY_RUNNING

COMMANDS = "\r\n".join(f'cmd.exe /c regsvr32 /u /s "%programfiles%\\quillon\\quillontoolbar{n}.dll"'
                       for n in (1, 2))
INFORMATION, WARNING, ERROR = 4, 2, 1  # EVENTLOG_*_TYPE
ACCEPTED = (0x40000001, INFORMATION)
DECLINED = (0x40000002, INFORMATION)
ENDED_FROM_OUTSIDE = (0x80000003, WARNING)
RUNTIME_ERROR = (0xC0000004, ERROR)
ALREADY_RUNNING = (0x80000005, WARNING)


def entries(wine, since):
    """(event id, type, [texts]) of each entry written since `since` (a log offset)."""
    found = []
    for line in wine.log_since(since):
        written = re.search(r"ReportEventW \([^,]*,0x([0-9a-f]+),0x[0-9a-f]+,0x([0-9a-f]+),", line)
        if written:
            found.append((int(written.group(2), 16), int(written.group(1), 16), []))
        elif text := re.search(r"(?:trace|warn|err):eventlog:ReportEventW L\"(.*)\"$", line):
            found[-1][2].append(re.sub(r"\\(.)", lambda m: {"r": "\r", "n": "\n"}.get(
                m.group(1), m.group(1)), text.group(1)))
    return found


def accept(run, wine):
    run.welcome()
    run.next()
    assert run.accept_to_the_end() == 0


def decline(run, wine):
    run.welcome()
    run.next()
    assert run.decline_to_the_end()[1] == 0


def quit_at_the_confirmation(run, wine):
    run.welcome()
    run.next()
    run.choose("Option2")
    run.press_button()
    run.spy.must("post-quit", "Form3")
    assert run.exit_code() == 1


def session_end_at_the_terms(run, wine):
    run.welcome()
    run.next()
    wine.end_session()
    assert run.exit_code() == 1


def empty_language_file(run, wine):
    run.spy.msgbox()
    run.answer("ok")
    assert run.exit_code() == 62


def second_start(run, wine):
    run.welcome()
    second = wine.start(run.install_dir / "Termgate.exe", cwd=run.install_dir,
                        winedebug="+eventlog")
    assert second.wait(timeout=30) == EXIT_ALREADY_RUNNING
    accept(run, wine)


OUTCOMES = {
    "accepted": (b"DE\r\n", accept, [(*ACCEPTED, ["DE"])]),
    "declined and confirmed": (b"DE\r\n", decline, [(*DECLINED, ["DE", COMMANDS])]),
    "a quit message before OK": (b"NL\r\n", quit_at_the_confirmation,
                                 [(*ENDED_FROM_OUTSIDE, ["NL", "a quit message"])]),
    "the session's end": (None, session_end_at_the_terms,
                          [(*ENDED_FROM_OUTSIDE, ["EN", "the session ended"])]),
    "a run-time error": (b"", empty_language_file,
                         [(*RUNTIME_ERROR, ["", "62", "Input past end of file", "none"])]),
    "a second start": (b"fr\r\n", second_start,
                       [(*ALREADY_RUNNING, []), (*ACCEPTED, ["fr"])]),
}


@pytest.mark.parametrize("outcome", OUTCOMES)
def test_each_run_writes_its_one_entry(start, wine, outcome):
    language_file, act, expected = OUTCOMES[outcome]
    run = start(language_file=language_file, winedebug="+eventlog", screenshots=None)
    act(run, wine)
    assert entries(wine, run.log_from) == [(event, kind, texts) for event, kind, texts in expected]
