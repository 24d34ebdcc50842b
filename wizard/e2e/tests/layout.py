"""The windows checked on screen against expected_layout.txt, pixels worked out by hand from the
windows' twips. termgate-trace's description says only what the windows are (title, frame, which
controls), never where they must be."""

from pathlib import Path

TABLE = Path(__file__).with_name("expected_layout.txt")


def expected_layout():
    """{(form, dpi): {control or "client": [left, top, right, bottom]}} from the table."""
    table = {}
    for line in TABLE.read_text().splitlines():
        if line.strip() and not line.startswith("#"):
            form, control, dpi, left, top, right, bottom = line.split()
            table.setdefault((form, int(dpi)), {})[control] = \
                [int(left), int(top), int(right), int(bottom)]
    return table


def check_window(run, form, dpi):
    """Frame, styles, centring, client size and every control's rectangle at `dpi`."""
    expected = dict(expected_layout()[form["name"], dpi])
    client = expected.pop("client")
    assert set(expected) == {c["name"] for c in form["controls"]}, "the table lists other controls"
    window = run.spy.window(form["name"])
    titled = form["titleBar"] != "None"
    assert window["dpi"] == dpi
    assert window["clientSize"] == client[2:]
    assert window["toolWindow"] and not window["appWindow"], "the window is in the taskbar"
    assert (window["caption"], window["sysMenu"]) == (titled, form["controlBox"])
    assert not (window["thickFrame"] or window["minimizeBox"] or window["maximizeBox"])
    assert window["title"] == form["title"]
    left, top, right, bottom = window["windowRect"]
    work = window["workArea"]
    assert abs((left + right) - (work[0] + work[2])) <= 1, f"not centred across: {window}"
    assert abs((top + bottom) - (work[1] + work[3])) <= 1, f"not centred down: {window}"
    controls = run.spy.controls(form["name"])
    assert {name: c["rect"] for name, c in controls.items()} == expected
