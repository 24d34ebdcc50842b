#!/usr/bin/env python3
"""Renders one of the wizard's pages in headless Chromium at the size of the browser control that
shows it, at 96, 120 and 144 dpi, and checks what a user of that window would meet:

- the page never scrolls sideways;
- it loads nothing but itself (no network, no other file);
- it names no button or option caption that some language does not show (the page is the same
  file for every language code; the captions, the codes and the control's size come from
  termgate-trace, so they are the ones the wizard really has).

A screenshot of each size goes to --previews as PAGE-DPIdpi.png.

  render_page.py PAGE --chromium PATH --trace PATH --previews DIR
"""
import argparse
import base64
import ctypes
import fcntl
import json
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

DPIS = (96, 120, 144)
# Besides every code the wizard knows: one it does not, and no language file at all.
OTHER_CODES = ("XX", None)


def showing(trace, page):
    """The browser control that shows `page` (from the trace of a run that reaches both
    windows), as (window, (left, top, width, height) in twips, {control: design-time caption}),
    all from termgate-trace."""
    described = json.loads(subprocess.run([trace, "--describe"], capture_output=True, text=True,
                                          check=True).stdout)
    run = subprocess.run([trace, "next"], capture_output=True, text=True, check=True).stdout
    window, browser = re.search(rf'(\w+)\.(\w+)\.Navigate2 ".*\\\\{re.escape(page)}"$', run,
                                re.M).groups()
    form = next(f for f in described["forms"] if f["name"] == window)
    control = next(c for c in form["controls"] if c["name"] == browser)
    captions = {c["name"]: c["caption"] for c in form["controls"]
                if c["kind"] in ("CommandButton", "Label")}
    codes = [c["code"] for c in described["codes"]] + list(OTHER_CODES)
    return window, tuple(control[k] for k in ("left", "top", "width", "height")), captions, codes
TIMEOUT = 60  # seconds for the whole run; CTest's limit is larger, so cleanup still happens


def px(twips, dpi):
    return (twips * dpi + 720) // 1440


def control_pixels(rect, dpi):
    """The control's size in device pixels, converted edge by edge as the Win32 host does."""
    left, top, width, height = rect
    return px(left + width, dpi) - px(left, dpi), px(top + height, dpi) - px(top, dpi)


def shown_captions(trace, window, defaults, codes, scratch):
    """For each language, the set of captions a user sees on the window's controls."""
    result = []
    for code in codes:
        command = [trace]
        if code is not None:
            lang_file = scratch / "Lang.ini"
            lang_file.write_bytes(code.encode() + b"\r\n")
            command += ["--lang-file", str(lang_file)]
        seen = set()
        for actions in (["next", "accept"], ["next", "decline"]):
            out = subprocess.run(command + actions, capture_output=True, text=True, check=True)
            final = dict(defaults)
            for control, caption in re.findall(rf'^\s*{window}\.(\w+)\.Caption = "(.*)"$',
                                               out.stdout, re.M):
                final[control] = caption
            seen |= {caption for caption in final.values() if caption}
        result.append(seen)
    return result


class Chromium:
    """Headless Chromium driven over the DevTools protocol on fds 3 and 4."""

    def __init__(self, executable, profile):
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()
        # Above the descriptors the child gets, so that moving them to 3 and 4 clobbers neither.
        ends = [fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10) for fd in (to_browser_r, from_browser_w)]
        libc = ctypes.CDLL(None, use_errno=True)

        def in_child():
            os.dup2(ends[0], 3)
            os.dup2(ends[1], 4)
            # PR_SET_PDEATHSIG: the browser dies with this script, however the script ends.
            libc.prctl(1, signal.SIGKILL)

        args = [executable, "--headless", "--remote-debugging-pipe", f"--user-data-dir={profile}",
                "--no-first-run", "--disable-gpu", "--disable-extensions", "--disable-sync",
                "--disable-background-networking", "--disable-component-update",
                "--host-resolver-rules=MAP * ~NOTFOUND", "about:blank"]
        if os.geteuid() == 0:
            args.insert(1, "--no-sandbox")
        self.process = subprocess.Popen(args, close_fds=False, preexec_fn=in_child,
                                        start_new_session=True, stdout=subprocess.DEVNULL,
                                        stderr=open(profile / "stderr.log", "wb"))
        for fd in [to_browser_r, from_browser_w] + ends:
            os.close(fd)
        self.buffer = b""
        self.events = []
        self.last_id = 0

    def kill(self):
        try:
            self.call("Browser.close")  # lets it reap its helpers
            self.process.wait(5)
        except Exception:
            pass
        try:
            os.killpg(self.process.pid, signal.SIGKILL)  # the browser and every helper it started
        except ProcessLookupError:
            pass
        self.process.wait()

    def _receive(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.from_browser], [], [], left)[0]:
                raise TimeoutError("Chromium did not answer in time")
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise RuntimeError("Chromium closed the DevTools pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, session=None, **params):
        self.last_id += 1
        message = {"id": self.last_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        while True:
            reply = self._receive(DEADLINE)
            if reply.get("id") == self.last_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply["result"]
            self.events.append(reply)

    def wait_for(self, method):
        while True:
            for index, event in enumerate(self.events):
                if event.get("method") == method:
                    return self.events.pop(index)
            self.events.append(self._receive(DEADLINE))


def png_size(data):
    return struct.unpack(">II", data[16:24])


def check_page(browser, page_url, rect, forbidden, previews, stem):
    target = browser.call("Target.createTarget", url="about:blank")["targetId"]
    session = browser.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
    browser.call("Network.enable", session)
    browser.call("Page.enable", session)
    failures = []
    for dpi in DPIS:
        scale = dpi / 96
        width, height = control_pixels(rect, dpi)
        # The viewport is set in CSS pixels, which must be whole: rounding down keeps it no wider
        # than the control.
        browser.call("Emulation.setDeviceMetricsOverride", session, width=int(width / scale),
                     height=int(height / scale), deviceScaleFactor=scale, mobile=False)
        browser.events.clear()
        browser.call("Page.navigate", session, url=page_url)
        browser.wait_for("Page.loadEventFired")
        state = browser.call("Runtime.evaluate", session, returnByValue=True, expression="""({
            scrollWidth: document.documentElement.scrollWidth,
            clientWidth: document.documentElement.clientWidth,
            text: document.body.innerText,
            resources: performance.getEntriesByType('resource').map(e => e.name)})""")
        state = state["result"]["value"]
        requested = {e["params"]["request"]["url"] for e in browser.events
                     if e.get("method") == "Network.requestWillBeSent"}
        shot = browser.call("Page.captureScreenshot", session, format="png")["data"]
        image = base64.b64decode(shot)
        (previews / f"{stem}-{dpi}dpi.png").write_bytes(image)

        where = f"{stem} at {dpi} dpi ({width}x{height} px)"
        if len(state["text"]) < 200:
            failures.append(f"{where}: the page shows almost no text: {state['text']!r}")
        if state["scrollWidth"] > state["clientWidth"]:
            failures.append(f"{where}: scrolls sideways, content {state['scrollWidth']} px wide "
                            f"in {state['clientWidth']} px")
        fetched = (requested | set(state["resources"])) - {page_url}
        if fetched:
            failures.append(f"{where}: loads more than the page: {sorted(fetched)}")
        shot_width, shot_height = png_size(image)
        if abs(shot_width - width) > 1 or abs(shot_height - height) > 1:
            failures.append(f"{where}: rendered at {shot_width}x{shot_height} px")
        for caption in forbidden:
            pattern = (r"\b(?:click|press|choose|select|tap)\s+(?:on\s+)?(?:the\s+)?[\"'“‘]?"
                       + re.escape(caption) + r"\b")
            named = re.search(pattern, state["text"], re.I)
            if named:
                failures.append(f"{where}: says {named[0]!r}, but not every language shows a "
                                f"\"{caption}\"")
    browser.call("Target.closeTarget", targetId=target)
    return failures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("page", type=Path)
    parser.add_argument("--chromium", required=True)
    parser.add_argument("--trace", required=True)
    parser.add_argument("--previews", required=True, type=Path)
    options = parser.parse_args()
    window, rect, defaults, codes = showing(options.trace, options.page.name)
    # CTest ends a test with SIGTERM on timeout: turn it into an exit so the browser is killed.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))
    options.previews.mkdir(parents=True, exist_ok=True)

    with tempfile.TemporaryDirectory() as scratch:
        scratch = Path(scratch)
        per_language = shown_captions(options.trace, window, defaults, codes, scratch)
        # A caption that every language shows may be named; any other is wrong for someone.
        forbidden = sorted(set.union(*per_language) - set.intersection(*per_language))
        # The page alone in its folder: a reference to any file beside it cannot load.
        alone = scratch / "page"
        alone.mkdir()
        shutil.copy(options.page, alone)
        profile = scratch / "profile"
        profile.mkdir()
        browser = Chromium(options.chromium, profile)
        try:
            failures = check_page(browser, (alone / options.page.name).as_uri(), rect, forbidden,
                                  options.previews, options.page.stem)
        finally:
            browser.kill()
    for failure in failures:
        print(failure)
    print(f"{options.page.name}: {len(DPIS)} sizes, {len(failures)} problems; captions checked: "
          f"{', '.join(forbidden)}")
    return 1 if failures else 0


DEADLINE = time.monotonic() + TIMEOUT

if __name__ == "__main__":
    sys.exit(main())
