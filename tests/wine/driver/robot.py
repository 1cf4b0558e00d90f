"""The driver's side of the test robot: one robot process per desktop, one line per command."""
import os
import queue
import subprocess
import threading
import time

from session import windows_path


def hexed(text):
    data = text.encode() if isinstance(text, str) else text
    return data.hex() or "-"


def typed(text):
    """What is typed or pasted travels as UTF-16LE, lone surrogates and all."""
    return hexed(text.encode("utf-16-le", "surrogatepass"))


def unhexed(field):
    return b"" if field == "-" else bytes.fromhex(field)


class RobotError(AssertionError):
    pass


class Robot:
    def __init__(self, session, desktop):
        self.session = session
        self.process = subprocess.Popen(
            [session.args.wine, session.args.robot, desktop], env=session.env(),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.answers = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.answers.put(line.decode(errors="replace").rstrip("\r\n"))
        self.answers.put(None)

    def __call__(self, *words, timeout=60):
        line = " ".join(str(w) for w in words)
        began = time.monotonic()
        self.process.stdin.write(line.encode() + b"\n")
        self.process.stdin.flush()
        try:
            answer = self.answers.get(timeout=timeout)
        except queue.Empty:
            raise RobotError(f"robot gave no answer to {line[:80]!r}")
        if answer is None:
            raise RobotError(f"robot ended during {line[:80]!r}")
        took = time.monotonic() - began
        if took > 1.5 and words[0] not in ("sleep", "wait", "watch", "window", "cycles"):
            print(f"robot: {line[:60]!r} took {took:.1f} s")
        if not answer.startswith("ok"):
            raise RobotError(f"robot: {answer} (for {line[:80]!r})")
        return answer[3:].split(" ") if len(answer) > 3 else []

    def close(self):
        try:
            self.process.stdin.write(b"quit\n")
            self.process.stdin.flush()
            self.process.wait(timeout=20)
        except (OSError, subprocess.TimeoutExpired):
            self.process.kill()

    # ---- conveniences over the commands ----

    def launch(self, exe, args=(), cwd=""):
        words = ["launch", hexed(windows_path(cwd) if cwd else ""), hexed(windows_path(exe))]
        words += [hexed(a) for a in args]
        return int(self(*words)[0])

    def wait_exit(self, index, ms=10000):
        answer = self("wait", index, ms)
        return int(answer[1]) if answer[0] == "exited" else None

    def info(self):
        f = self("info")
        return {
            "frame": tuple(map(int, f[1:5])),
            "client": tuple(map(int, f[6:10])),
            "style": int(f[11], 16),
            "title": unhexed(f[15]).decode(),
            "screen": (int(f[17]), int(f[18])),
        }

    def children(self):
        """Control windows by identifier: dict id -> dict(visible, rect, style, exstyle)."""
        result = {}
        for item in self("children"):
            cid, cls, visible, left, top, width, height, style, exstyle = item.split(":")
            result[int(cid)] = {"class": unhexed(cls).decode(), "visible": visible == "1",
                                "rect": (int(left), int(top), int(width), int(height)),
                                "style": int(style, 16), "exstyle": int(exstyle, 16)}
        return result

    def focus(self):
        """The identifier of the control holding the focus (by the target's child that holds
        it), 0 for the window itself, None for none."""
        f = self("focus")
        if f[0] in ("none", "outside"):
            return None
        return 0 if f[0] == "window" else int(f[0])

    def colours(self, left, top, width, height):
        """Colours of a client rectangle, most frequent first: [(rrggbb, count)]."""
        f = self("colours", left, top, width, height)
        return [(c.split(":")[0], int(c.split(":")[1])) for c in f[1:]]

    def uniform(self, left, top, width, height):
        """The one colour of a client rectangle, or None when it holds several."""
        found = self.colours(left, top, width, height)
        return found[0][0] if len(found) == 1 else None

    def splash_mismatches(self, png, width, height):
        return self("splash", hexed(windows_path(png)), width, height)

    def text(self, control):
        """The text a control holds, lone surrogates and all."""
        return unhexed(self("text", control)[0]).decode("utf-16-le", "surrogatepass")

    def key(self, chord):
        self("key", chord)

    def type(self, text):
        self("type", typed(text))

    def paste(self, text):
        self("clip", typed(text))
        self("key", "ctrl+v")

    def mouse(self, action, x, y):
        self("mouse", action, x, y)

    def click(self, x, y):
        self("mouse", "click", x, y)

    def sleep(self, ms):
        self("sleep", ms)
