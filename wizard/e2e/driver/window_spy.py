"""Talks to window_spy.exe, which runs in the prefix beside Termgate.exe and reads and drives its
windows and message boxes: one command line in, one JSON line out (see its README)."""

import json
import queue
import subprocess
import threading


class WindowSpyError(AssertionError):
    """window_spy refused a command, or did not answer."""


class WindowSpy:
    def __init__(self, prefix, exe):
        self._process = prefix.start(exe, ["serve"], talk=True)
        self._lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self._process.stdout:
            self._lines.put(line)
        self._lines.put(None)

    def ask(self, *words, timeout=30):
        """The answer to one command, whether ok or not."""
        command = " ".join(str(word) for word in words)
        try:
            self._process.stdin.write((command + "\n").encode())
            self._process.stdin.flush()
            line = self._lines.get(timeout=timeout)
        except (OSError, queue.Empty) as failure:
            raise WindowSpyError(f"no answer to {command!r}") from failure
        if line is None:
            raise WindowSpyError(f"window_spy ended ({self._status()}) while asked {command!r}")
        return json.loads(line)

    def _status(self):
        try:
            status = self._process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            return "its output closed, the process still runs"
        if status < 0:
            return f"killed by signal {-status}"
        return f"exit status {status}"

    def must(self, *words, timeout=30):
        """The answer to a command that has to succeed."""
        answer = self.ask(*words, timeout=timeout)
        if not answer.get("ok"):
            raise WindowSpyError(f"{' '.join(map(str, words))}: {answer}")
        return answer

    # The commands the steps use most.

    def window(self, form):
        return self.must("window", form)

    def wait(self, form, state, ms=15000):
        return self.must("wait", form, state, ms, timeout=ms / 1000 + 10)

    def controls(self, form):
        return {c["name"]: c for c in self.must("controls", form)["controls"] if c["name"]}

    def click(self, form, control):
        return self.must("click", form, control)

    def key(self, keys, form="-"):
        return self.must("key", form, keys)

    def post(self, target, message, wparam=0, lparam=0):
        """Posts a message as another program can; returns once Termgate's thread has taken
        it."""
        return self.must("post", target, hex(message), hex(wparam), hex(lparam))

    def send(self, target, message, wparam=0, lparam=0):
        """Sends a message from this other process; returns whether Termgate answered, and
        what."""
        return self.must("send", target, hex(message), hex(wparam), hex(lparam))

    def msgbox(self, ms=15000):
        return self.must("msgbox", ms, timeout=ms / 1000 + 10)

    def answer(self, button, ms=15000):
        """Answers the box OK (Enter) or Cancel (Escape) from the keyboard, as a person does;
        returns the box as it was, once it has closed."""
        answer = self.must("answer", button, ms, timeout=ms / 1000 + 10)
        if not answer["closed"]:
            raise WindowSpyError(f"the box {answer['box']['text']!r} stayed open after {button}")
        return answer["box"]

    def accessible(self, form, control):
        return self.must("accessible", form, control)

    def close(self):
        if self._process.poll() is None:
            try:
                self._process.stdin.write(b"quit\n")
                self._process.stdin.flush()
                self._process.wait(timeout=10)
            except Exception:  # pylint: disable=broad-except
                self._process.kill()
                self._process.wait()
