"""Talks to window_spy.exe, which runs in the prefix beside Termgate.exe and reads and drives its
windows and message boxes: one command line in, one JSON line out."""

import json
import queue
import threading


class WindowSpyError(AssertionError):
    pass


class WindowSpy:
    def __init__(self, session):
        self._process = session.start(session.window_spy_exe(), ["serve"], talk=True)
        self._lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self._process.stdout:
            self._lines.put(line)
        self._lines.put(None)

    def ask(self, *words, timeout=30):
        self._process.stdin.write((" ".join(str(w) for w in words) + "\n").encode())
        self._process.stdin.flush()
        try:
            line = self._lines.get(timeout=timeout)
        except queue.Empty as empty:
            raise WindowSpyError(f"no answer to {' '.join(map(str, words))!r}") from empty
        if line is None:
            raise WindowSpyError(f"window_spy ended while asked {' '.join(map(str, words))!r}")
        return json.loads(line)

    def must(self, *words, timeout=30):
        answer = self.ask(*words, timeout=timeout)
        if not answer.get("ok"):
            raise WindowSpyError(f"{' '.join(map(str, words))}: {answer}")
        return answer

    # Shorthands for the scenarios.
    def window(self, form):
        return self.must("window", form)

    def wait(self, form, what, ms=15000):
        return self.must("wait", form, what, ms, timeout=ms / 1000 + 10)

    def controls(self, form):
        return {c["name"]: c for c in self.must("controls", form)["controls"] if c["name"]}

    def click(self, form, control):
        self.must("click", form, control)

    def msgbox(self, ms=15000):
        return self.must("msgbox", ms, timeout=ms / 1000 + 10)

    def answer(self, button, ms=15000):
        self.must("answer", button, ms, timeout=ms / 1000 + 10)

    def close(self):
        if self._process.poll() is None:
            try:
                self._process.stdin.write(b"quit\n")
                self._process.stdin.flush()
                self._process.wait(timeout=10)
            except (OSError, ValueError, TimeoutError):
                self._process.kill()
            except Exception:  # pylint: disable=broad-except
                self._process.kill()
