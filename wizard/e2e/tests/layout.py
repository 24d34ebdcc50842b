"""The windows as the layout that termgate-trace describes them, checked on screen."""

from driver.program import pixel_rect, pixels


def form_of(described, name):
    return next(form for form in described["forms"] if form["name"] == name)


def check_window(run, form, dpi):
    """Frame, styles, centring, client size and every control's rectangle at `dpi`."""
    window = run.spy.window(form["name"])
    titled = form["titleBar"] != "None"
    assert window["dpi"] == dpi
    assert window["clientSize"] == [pixels(form["clientWidth"], dpi),
                                    pixels(form["clientHeight"], dpi)]
    assert window["toolWindow"] and not window["appWindow"], "the window is in the taskbar"
    assert (window["caption"], window["sysMenu"]) == (titled, form["controlBox"])
    assert not (window["thickFrame"] or window["minimizeBox"] or window["maximizeBox"])
    assert window["title"] == form["title"]
    left, top, right, bottom = window["windowRect"]
    work = window["workArea"]
    assert abs((left + right) - (work[0] + work[2])) <= 1, f"not centred across: {window}"
    assert abs((top + bottom) - (work[1] + work[3])) <= 1, f"not centred down: {window}"
    controls = run.spy.controls(form["name"])
    assert {name: c["rect"] for name, c in controls.items()} == \
        {c["name"]: pixel_rect(c, dpi) for c in form["controls"]}
