#!/usr/bin/env python3
"""End-to-end tests of the Linux program, run by ctest (label gtk).

The program is started as a user starts it, driven from outside with xdotool and observed
from outside: pixels read off the X server (x11probe), the request lines the reference parse
service logs, the window manager's properties and the exit code.

    e2e.py [options] setup      starts one Xvfb (two screens) and the parse service
    e2e.py [options] cleanup    stops them
    e2e.py [options] CASE       runs one case against them
"""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
TITLE = "Quorvel解析播放"
FRAME = (1507, 728)
BACKGROUND = (0, 128, 128)
EDIT_INSIDE = (255, 168, 255)
WHITE = (255, 255, 255)
# The face colour of GTK's Adwaita theme (theme_bg_color), which the tests select.
ADWAITA_FACE = (246, 245, 244)

# Places in the window's content area.
EDIT_LINE = (100, 668)       # on the text line of the address box
EDIT_MARGIN = (100, 646)     # inside the box, above the text line
LAUNCH = (672, 672)          # centre of "TV弹发射"
RETURN = (976, 668)          # centre of "返回机场"
PICTURE = (700, 300)         # on the splash picture


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, probe, timeout=10.0, interval=0.05):
    """Polls `probe` until it returns something true; returns that, or fails naming `what`."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(interval)


class Run:
    """The shared fixture: one Xvfb and one parse service for the whole test run."""

    def __init__(self, args):
        self.args = args
        self.state_file = os.path.join(args.state, "state.json")
        with open(self.state_file, encoding="utf-8") as f:
            self.state = json.load(f)
        self.display = self.state["display"]

    def env(self, screen=0):
        env = dict(os.environ)
        env.update({
            "DISPLAY": "%s.%d" % (self.display, screen),
            "GTK_THEME": "Adwaita",
            "NO_AT_BRIDGE": "1",
            "ALSA_CONFIG_PATH": os.path.join(HERE, "..", "..", "tools", "asound-null.conf"),
            "XDG_CACHE_HOME": os.path.join(self.args.state, "cache"),
            "XDG_DATA_HOME": os.path.join(self.args.state, "data"),
            "XDG_CONFIG_HOME": os.path.join(self.args.state, "config"),
        })
        env.pop("GDK_SCALE", None)
        env.pop("GDK_BACKEND", None)
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def tool(self, *command, screen=0, check_rc=True):
        done = subprocess.run(command, env=self.env(screen), capture_output=True, text=True,
                              timeout=30)
        if check_rc and done.returncode != 0:
            raise Failure("%s failed (%d): %s" % (" ".join(command), done.returncode,
                                                  done.stderr.strip()))
        return done.stdout

    def probe(self, *args, screen=0, check_rc=True):
        return self.tool(self.args.probe, *[str(a) for a in args], screen=screen,
                         check_rc=check_rc)

    def log_lines(self):
        with open(self.state["log"], encoding="utf-8", errors="replace") as f:
            return f.read().splitlines()

    def parse_requests(self, since):
        """Request targets for the parse page (GET /?...) logged after line `since`."""
        targets = []
        for line in self.log_lines()[since:]:
            match = re.fullmatch(r"GET (/\?\S*|/) HTTP/1\.[01]", line)
            if match:
                targets.append(match.group(1))
        return targets


class Program:
    """One run of the program, and what a user does to it."""

    def __init__(self, run, screen=0, extra_env=None):
        self.run = run
        self.screen = screen
        self.log_mark = len(run.log_lines())
        workdir = os.path.join(run.args.state, "elsewhere")
        os.makedirs(workdir, exist_ok=True)
        env = run.env(screen)
        env.update(extra_env or {})
        # Started from another folder: the program makes its own folder the current one.
        self.process = subprocess.Popen([run.args.program], cwd=workdir, env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        try:
            self.window = wait_for("the window to appear", self.find_window)
            self.left, self.top, self.width, self.height = self.geometry()
            # Painted once the background shows in the band below the controls.
            wait_for("the window to be painted", lambda: self.pixel(1200, 700) == BACKGROUND)
        except BaseException:
            self.close()
            raise

    def find_window(self):
        if self.process.poll() is not None:
            raise Failure("the program ended at start with %d: %s"
                          % (self.process.returncode, self.process.stderr.read().decode()))
        out = self.run.tool("xdotool", "search", "--screen", str(self.screen), "--onlyvisible",
                            "--all", "--pid", str(self.process.pid), "--class", "quorvel",
                            screen=self.screen, check_rc=False)
        ids = out.split()
        return ids[-1] if ids else None

    def geometry(self):
        out = self.run.tool("xwininfo", "-id", self.window, screen=self.screen)
        value = lambda name: int(re.search(name + r":\s+(-?\d+)", out).group(1))
        return (value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"),
                value("Height"))

    def prop(self, name):
        return self.run.tool("xprop", "-id", self.window, name, screen=self.screen)

    # --- input ---------------------------------------------------------------------------

    def keys(self, *names):
        self.run.tool("xdotool", "key", "--delay", "30", *names, screen=self.screen)

    def type(self, text):
        if text:
            self.run.tool("xdotool", "type", "--delay", "15", "--", text, screen=self.screen)

    def move(self, x, y):
        self.run.tool("xdotool", "mousemove", str(self.left + x), str(self.top + y),
                      screen=self.screen)

    def click(self, x, y):
        self.move(x, y)
        self.run.tool("xdotool", "click", "1", screen=self.screen)

    def settle(self, seconds=0.4):
        """Gives the program time to act on what it was sent (for checks that nothing came)."""
        time.sleep(seconds)

    # --- observation ---------------------------------------------------------------------

    def pixel(self, x, y):
        out = self.run.probe("pixel", self.left + x, self.top + y, screen=self.screen)
        return tuple(int(v) for v in out.split())

    def colours(self, x, y, w, h):
        out = self.run.probe("colours", self.left + x, self.top + y, w, h, screen=self.screen)
        return {tuple(int(v) for v in line.split()[:3]): int(line.split()[3])
                for line in out.splitlines()}

    def splash_differs(self, x, y, w, h):
        """How many pixels of the area differ from the splash picture at the same place."""
        out = self.run.probe("compare", self.left + x, self.top + y, self.run.args.splash, x, y,
                             w, h, screen=self.screen, check_rc=False)
        return int(re.search(r"(\d+) differing", out).group(1)), out

    def requests(self):
        return self.run.parse_requests(self.log_mark)

    def wait_requests(self, count, timeout=10):
        return wait_for("%d parse request(s), got %r" % (count, self.requests()),
                        lambda: len(self.requests()) >= count and self.requests(), timeout)

    def page_keys(self):
        """The keys the service's pages reported, in order."""
        keys = []
        for line in self.run.log_lines()[self.log_mark:]:
            match = re.match(r"GET /key\?k=(\S*) ", line)
            if match:
                keys.append(urllib.parse.unquote(match.group(1)))
        return keys

    def progress(self):
        """The furthest playback time the player page reported, in seconds."""
        best = 0.0
        for line in self.run.log_lines()[self.log_mark:]:
            match = re.match(r"GET /progress\?(?:ended=1&)?t=([0-9.]+) ", line)
            if match:
                best = max(best, float(match.group(1)))
        return best

    def web_processes(self):
        """Engine processes started on this program's behalf (its descendants)."""
        found, parents = [], {self.process.pid}
        for _ in range(3):
            for entry in os.listdir("/proc"):
                if not entry.isdigit():
                    continue
                try:
                    with open("/proc/%s/stat" % entry) as f:
                        fields = f.read().rsplit(")", 1)[1].split()
                    with open("/proc/%s/cmdline" % entry, "rb") as f:
                        command = f.read().split(b"\0")[0].decode(errors="replace")
                except OSError:
                    continue
                if int(fields[1]) in parents and int(entry) not in parents:
                    parents.add(int(entry))
                    found.append(command)
        return found

    def wait_exit(self, timeout=10):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end")

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()


def ensure_clip(args):
    clip = os.path.join(args.media, "sample.webm")
    if not (os.path.exists(clip) and os.path.exists(os.path.join(args.media, "sample.mp4"))):
        subprocess.run([os.path.join(HERE, "..", "..", "scripts", "make-sample-clip.sh"),
                        args.media], check=True, stdout=subprocess.DEVNULL)


def start_xvfb(state_dir, screens):
    """Starts Xvfb on a free display with the given screens; returns the process and ':N'."""
    read_end, write_end = os.pipe()
    command = ["Xvfb", "-displayfd", str(write_end)]
    for number, screen in enumerate(screens):
        command += ["-screen", str(number), screen]
    xvfb = subprocess.Popen(
        command + ["-nolisten", "tcp", "-noreset"], pass_fds=(write_end,),
        stdin=subprocess.DEVNULL, stdout=open(os.path.join(state_dir, "xvfb.log"), "w"),
        stderr=subprocess.STDOUT, start_new_session=True)
    os.close(write_end)
    number = b""
    deadline = time.monotonic() + 15
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        chunk = os.read(read_end, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_end)
    if not number.strip():
        xvfb.kill()
        raise Failure("Xvfb did not start")
    return xvfb, ":" + number.decode().strip()


def setup(args):
    if os.path.exists(args.state):
        cleanup(args, quiet=True)
        shutil.rmtree(args.state, ignore_errors=True)
    os.makedirs(args.state)
    ensure_clip(args)
    xvfb, display = start_xvfb(args.state, ["1920x1080x24", "1366x768x24"])
    log = os.path.join(args.state, "requests.log")
    open(log, "w").close()
    service = subprocess.Popen(
        [sys.executable, args.service, args.host, "--media", args.media, "--log", log],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=open(os.path.join(args.state, "service.log"), "w"), start_new_session=True)
    state = {"display": display, "xvfb": xvfb.pid,
             "service": service.pid, "log": log}
    with open(os.path.join(args.state, "state.json"), "w", encoding="utf-8") as f:
        json.dump(state, f)

    def listening():
        # Its own word, so that another server on the same port is not taken for it.
        with open(os.path.join(args.state, "service.log"), encoding="utf-8") as f:
            said = f.read()
        if service.poll() is not None:
            raise Failure("the parse service ended: " + said.strip())
        return "listening on" in said
    wait_for("the parse service at " + args.host, listening)
    print("display %s, parse service at %s" % (state["display"], args.host))


def cleanup(args, quiet=False):
    try:
        with open(os.path.join(args.state, "state.json"), encoding="utf-8") as f:
            state = json.load(f)
    except OSError:
        if not quiet:
            print("nothing to stop")
        return
    for name in ("service", "xvfb"):
        try:
            os.kill(state[name], signal.SIGTERM)
        except OSError:
            pass


# --- cases ---------------------------------------------------------------------------------

def case_window(run):
    """Title, place, size, icon, current folder, and the pixels of the splash face."""
    p = Program(run)
    try:
        check(p.prop("_NET_WM_NAME").strip().endswith('"%s"' % TITLE), p.prop("_NET_WM_NAME"))
        # Centred on 1920x1080 without a window manager: the window is the whole frame.
        check((p.left, p.top, p.width, p.height) == (206, 176) + FRAME,
              "window at %r" % ((p.left, p.top, p.width, p.height),))
        hints = p.prop("WM_NORMAL_HINTS")
        check("minimum size: 1507 by 728" in hints and "maximum size: 1507 by 728" in hints,
              "not fixed in size: " + hints)
        icon = p.prop("_NET_WM_ICON")
        check("Icon (32 x 32)" in icon and "Icon (16 x 16)" in icon, "icons: " + icon[:200])
        check(os.readlink("/proc/%d/cwd" % p.process.pid) == os.path.dirname(
            os.path.realpath(run.args.program)), "current folder is not the program's")

        # Nothing requested and no page engine running before the first address is set.
        p.settle(0.5)
        check(p.requests() == [], "requests at start: %r" % p.requests())
        engines = [c for c in p.web_processes() if "WebProcess" in c]
        check(engines == [], "web process at start: %r" % engines)

        for x, y in [(1200, 710), (560, 660), (800, 700), (1100, 660), (1505, 10), (10, 720)]:
            check(p.pixel(x, y) == BACKGROUND, "background at %d,%d is %r" % (x, y, p.pixel(x, y)))
        inside = p.colours(4, 643, 544, 50)
        check(inside == {EDIT_INSIDE: 544 * 50}, "address box inside: %r" % inside)
        check(p.pixel(0, 668) != EDIT_INSIDE and p.pixel(551, 668) != EDIT_INSIDE,
              "address box has no edge")

        differing, report = p.splash_differs(0, 0, 1393, 632)
        check(differing == 0, "splash picture:\n" + report)
        face = p.colours(1393, 0, 111, 632)
        check(face == {ADWAITA_FACE: 111 * 632}, "right of the picture: %r" % face)
        strip = p.colours(0, 632, 1504, 8)
        check(strip == {WHITE: 1504 * 8}, "strip below the picture: %r" % strip)

        p.keys("Escape")
        check(p.wait_exit() == 0, "exit code after Esc: %r" % p.process.returncode)
    finally:
        p.close()


def case_keyboard(run):
    """Focus at start, the Tab cycle, Enter, Space, F1 and Alt+letter, Esc."""
    p = Program(run)
    try:
        p.type("zz")                 # on the web view: nothing reaches the address box
        p.keys("Tab")                # -> address box
        p.type("a")
        p.keys("Tab", "Return")      # -> 按钮1; Enter clicks nothing
        p.keys("Right", "Down")      # GTK's arrow-key focus moves are not the window's
        p.settle()
        check(p.requests() == [], "Enter on a button sent %r" % p.requests())
        p.keys("space")              # Space clicks 按钮1 once
        check(p.wait_requests(1) == ["/?url=a"], "after Space: %r" % p.requests())
        wait_for("the splash to be hidden", lambda: p.splash_differs(0, 0, 400, 300)[0] > 0)

        p.keys("Tab", "Tab", "Tab")  # 按钮2 -> web view -> address box
        p.type("b")
        p.keys("shift+Tab")          # address box -> web view
        p.type("zz")
        p.keys("Tab", "Tab", "shift+Tab")  # address box -> 按钮1 -> address box
        p.type("c")
        p.keys("Return", "F1", "alt+t", "alt+f")  # nothing at all in the address box
        p.keys("Tab", "space")
        check(p.wait_requests(2) == ["/?url=a", "/?url=abc"], "requests: %r" % p.requests())

        # Tab to the web view: the keys go to the page the service sent ("abc" cannot play;
        # the page reports the keys it gets). Typed again until the page has loaded.
        p.keys("Tab", "Tab")         # 按钮1 -> 按钮2 -> web view
        wait_for("a key to reach the page", lambda: p.keys("k") or "k" in p.page_keys(),
                 interval=0.3)
        p.click(*PICTURE)            # into the page itself: from there Tab moves nothing
        p.keys("Tab", "j", "shift+Tab", "i")
        wait_for("the next keys to reach the page", lambda: {"j", "i"} <= set(p.page_keys()))
        check("Tab" not in p.page_keys(), "Tab reached the page: %r" % p.page_keys())
        p.click(*EDIT_LINE)
        p.keys("End", "BackSpace")   # the box still holds "abc"
        p.keys("Tab", "space")
        check(p.wait_requests(3)[2] == "/?url=ab", "requests: %r" % p.requests())

        p.keys("Tab", "space")       # 按钮2: back to the splash, nothing requested
        wait_for("the splash to come back", lambda: p.splash_differs(0, 0, 1393, 632)[0] == 0)
        p.settle()
        check(p.requests() == ["/?url=a", "/?url=abc", "/?url=ab"],
              "after 返回机场: %r" % p.requests())
        p.keys("Escape")             # closes from a focused button too
        check(p.wait_exit() == 0, "exit code after Esc: %r" % p.process.returncode)
    finally:
        p.close()


# Typed text -> the request target the parse service sees. The program appends the text
# unchanged; what the engine then does to it (percent-encoding, dropping the fragment and
# trailing blanks) is WebKit's URL parsing.
ADDRESS_TABLE = [
    ("http://127.0.0.1:9/watch?v=42&t=1s", "/?url=http://127.0.0.1:9/watch?v=42&t=1s"),
    ("", "/?url="),
    ("  two words  ", "/?url=%20%20two%20words"),
    ("clip#at-10s", "/?url=clip"),
    ("中文 视频", "/?url=%E4%B8%AD%E6%96%87%20%E8%A7%86%E9%A2%91"),
    ("50%off", "/?url=50%off"),
    ("x" * 300, "/?url=" + "x" * 300),
    ("x" * 300, "/?url=" + "x" * 300),  # the same text again is sent again
]


def case_addresses(run):
    """A table of typed texts, each arriving at the parse service as the engine sends it."""
    p = Program(run)
    try:
        for n, (typed, expected) in enumerate(ADDRESS_TABLE, 1):
            p.click(*EDIT_LINE)
            p.keys("ctrl+a", "BackSpace")
            p.type(typed)
            p.click(*LAUNCH)
            got = p.wait_requests(n)
            check(got[n - 1] == expected, "typed %r: sent %r, expected %r" % (typed, got[n - 1],
                                                                             expected))
        check(len(p.requests()) == len(ADDRESS_TABLE), "requests: %r" % p.requests())
    finally:
        p.close()


def case_mouse(run):
    """Clicks in the address box's margins, on the picture, and a press that leaves a button;
    the selection shows only while the box has the focus."""
    p = Program(run)
    try:
        p.click(*EDIT_MARGIN)        # no caret: the focus stays on the web view
        p.type("q")
        p.click(*EDIT_LINE)
        p.type("m")
        p.click(*PICTURE)            # the picture takes the click; the box keeps the focus
        p.type("n")
        p.keys("ctrl+a")
        # The theme's selection is blue; the box's own colours (black on pale magenta) and
        # their blends never are.
        selected = lambda: sum(n for (r, g, b), n in p.colours(4, 643, 544, 50).items()
                               if b - r > 100)
        wait_for("the selection to show", lambda: selected() > 50)
        p.keys("Tab")                # to 按钮1: the selection is hidden
        wait_for("the selection to be hidden", lambda: selected() == 0)
        p.keys("shift+Tab")          # back in the box, it shows again
        wait_for("the selection to show again", lambda: selected() > 50)
        p.keys("Tab")

        # Pressed on 按钮1, released elsewhere: nothing.
        p.move(*LAUNCH)
        p.run.tool("xdotool", "mousedown", "1")
        p.move(LAUNCH[0], 300)
        p.run.tool("xdotool", "mouseup", "1")
        p.settle()
        check(p.requests() == [], "press and release elsewhere sent %r" % p.requests())
        p.click(*LAUNCH)
        check(p.wait_requests(1) == ["/?url=mn"], "requests: %r" % p.requests())
    finally:
        p.close()


def case_playback(run):
    """The sample clip plays (WebM and MP4) and 返回机场 brings the splash back."""
    p = Program(run)
    try:
        for clip in ("sample.webm", "sample.mp4"):
            mark = len(run.log_lines())
            p.click(*EDIT_LINE)
            p.keys("ctrl+a", "BackSpace")
            p.type("http://%s/media/%s" % (run.args.host, clip))
            p.click(*LAUNCH)
            p.log_mark = mark
            wait_for("%s to play past 1 s (reported %.2f s)" % (clip, p.progress()),
                     lambda: p.progress() > 1.0, timeout=40, interval=0.2)
            p.click(*RETURN)
            wait_for("the splash to come back",
                     lambda: p.splash_differs(0, 0, 1393, 632)[0] == 0)
        p.keys("Escape")
        check(p.wait_exit() == 0, "exit code: %r" % p.process.returncode)
    finally:
        p.close()


def stand_in_browser(run):
    """The desktop's default browser, as GIO finds it: a script that notes what it is given."""
    opened = os.path.join(run.args.state, "opened.txt")
    script = os.path.join(run.args.state, "browser.sh")
    with open(script, "w") as f:
        f.write('#!/bin/sh\nprintf "%%s\\n" "$1" >> %s\n' % opened)
    os.chmod(script, 0o755)
    apps = os.path.join(run.args.state, "data", "applications")
    os.makedirs(apps, exist_ok=True)
    with open(os.path.join(apps, "quorvel-test-browser.desktop"), "w") as f:
        f.write("[Desktop Entry]\nType=Application\nName=Test browser\nExec=%s %%u\n"
                "MimeType=x-scheme-handler/http;\nNoDisplay=true\n" % script)
    os.makedirs(os.path.join(run.args.state, "config"), exist_ok=True)
    with open(os.path.join(run.args.state, "config", "mimeapps.list"), "w") as f:
        f.write("[Default Applications]\nx-scheme-handler/http=quorvel-test-browser.desktop\n")
    if os.path.exists(opened):
        os.remove(opened)
    return lambda: open(opened).read().split() if os.path.exists(opened) else []


def case_new_window(run):
    """A page's request for a new window goes to the desktop's default browser; the view
    itself stays where it is."""
    read = stand_in_browser(run)

    p = Program(run)
    try:
        p.click(*EDIT_LINE)
        p.type("abc")
        p.click(*LAUNCH)
        p.wait_requests(1)
        # The page's link to the sample clip opens a new window: bottom left of the page.
        expected = "http://%s/?url=http://%s/media/sample.webm" % (run.args.host, run.args.host)
        wait_for("the default browser to be asked for %s" % expected,
                 lambda: p.click(60, 608) or (time.sleep(0.5) or read()), interval=0.2)
        check(read() == [expected], "the browser was given %r" % read())
        p.settle()
        check(p.requests() == ["/?url=abc"], "the view navigated: %r" % p.requests())
    finally:
        p.close()


def case_window_manager(run):
    """With a window manager: the outer frame is 1507x728, centred; no maximise, no sizing;
    its close ends the program with 0."""
    wm = subprocess.Popen(["openbox", "--sm-disable"], env=run.env(), stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    try:
        wait_for("the window manager", lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in run.tool(
            "xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check_rc=False))
        p = Program(run)
        try:
            def frame():
                out = p.prop("_NET_FRAME_EXTENTS")
                match = re.search(r"= (\d+), (\d+), (\d+), (\d+)", out)
                if not match:
                    return None
                left, right, top, bottom = (int(v) for v in match.groups())
                x, y, w, h = p.geometry()
                return (x - left, y - top, w + left + right, h + top + bottom)
            wait_for("the outer frame to be 1507x728 at 206,176 (is %r)" % (frame(),),
                     lambda: frame() == (206, 176) + FRAME, timeout=5)
            actions = p.prop("_NET_WM_ALLOWED_ACTIONS")
            check("_NET_WM_ACTION_CLOSE" in actions and "MAXIMIZE" not in actions
                  and "_NET_WM_ACTION_RESIZE" not in actions, "allowed: " + actions)

            # Another window takes the activation (a second, independent instance); when
            # this one is activated again, the focus is back in the address box.
            p.click(*EDIT_LINE)
            p.type("a")
            other = Program(run)
            try:
                wait_for("the second window to be active", lambda: run.tool(
                    "xdotool", "getactivewindow", check_rc=False).strip() == other.window)
                run.tool("xdotool", "windowactivate", "--sync", p.window)
                p.type("b")
                p.keys("Tab", "space")
                check(p.wait_requests(1) == ["/?url=ab"], "requests: %r" % p.requests())
                check(other.requests() == ["/?url=ab"] and other.process.poll() is None,
                      "the second instance is not independent")
                run.tool("xdotool", "windowactivate", "--sync", other.window)
                other.keys("Escape")
                check(other.wait_exit() == 0, "second instance: %r" % other.process.returncode)
            finally:
                other.close()

            run.probe("close", p.window)
            check(p.wait_exit() == 0, "exit code after the close: %r" % p.process.returncode)
        finally:
            p.close()
    finally:
        wm.terminate()
        wm.wait(5)


def case_small_screen(run):
    """On a 1366x768 screen the centred window starts off the left edge."""
    p = Program(run, screen=1)
    try:
        check((p.left, p.top, p.width, p.height) == (-70, 20) + FRAME,
              "window at %r" % ((p.left, p.top, p.width, p.height),))
        p.keys("Escape")
        check(p.wait_exit() == 0, "exit code: %r" % p.process.returncode)
    finally:
        p.close()


def case_fatal_box(run):
    """A block that cannot be had: one modal error box titled 错误 over the still painted
    window, no command runs while it is open, and after OK the exit code is -1."""
    typed = "abc"
    # The launch joins the prefix and the text into one block of the program's own.
    size = len("http://%s/?url=" % run.args.host) + len(typed) + 1
    p = Program(run, extra_env={"LD_PRELOAD": run.args.fail_alloc,
                                "QUORVEL_FAIL_ALLOC_SIZE": str(size)})
    try:
        p.click(*EDIT_LINE)
        p.type(typed)
        p.click(*LAUNCH)

        def box():
            out = p.run.tool("xdotool", "search", "--onlyvisible", "--class", "quorvel",
                             check_rc=False)
            for window in out.split():
                name = p.run.tool("xprop", "-id", window, "_NET_WM_NAME", check_rc=False)
                if name.strip().endswith('"错误"'):
                    return window
            return None
        dialog = wait_for("the error box", box)
        state = p.run.tool("xprop", "-id", dialog, "_NET_WM_STATE", "WM_TRANSIENT_FOR")
        check("_NET_WM_STATE_MODAL" in state and "not found" in state.split("\n")[1],
              "box is not modal, or has an owner: " + state)
        p.run.probe("shot", os.path.join(run.args.state, "fatal-box.png"))
        out = p.run.tool("xwininfo", "-id", dialog)
        x, y, w, h = (int(re.search(name + r":\s+(-?\d+)", out).group(1)) for name in (
            "Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))
        # The theme's error icon is red; nothing else in the box is.
        red = sum(n for (r, g, b), n in (
            (tuple(int(v) for v in line.split()[:3]), int(line.split()[3]))
            for line in p.run.probe("colours", x, y, w, h).splitlines())
            if r > 150 and g < 90 and b < 90)
        check(red > 200, "no error icon in the box (%d red pixels)" % red)
        check(p.pixel(1200, 700) == BACKGROUND, "the window is not painted behind the box")
        p.click(*LAUNCH)             # the allocation would succeed now, but nothing runs
        p.settle()
        check(p.process.poll() is None, "ended before OK")
        p.run.tool("xdotool", "key", "Return")  # the box has the focus: OK
        check(p.wait_exit() == 255, "exit code %r" % p.process.returncode)
        check(p.requests() == [], "requests: %r" % p.requests())
    finally:
        p.close()


def case_no_display(run):
    """Without a display nothing can be shown: the fatal report goes to stderr, exit -1."""
    env = run.env()
    env.pop("DISPLAY")
    done = subprocess.run([run.args.program], env=env, capture_output=True, timeout=30)
    check(done.returncode == 255, "exit code %d" % done.returncode)
    text = done.stderr.decode("utf-8", errors="replace")
    check("错误\n运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n" in text, "stderr: %r" % text)


CASES = {
    "window": case_window,
    "keyboard": case_keyboard,
    "addresses": case_addresses,
    "mouse": case_mouse,
    "playback": case_playback,
    "new_window": case_new_window,
    "window_manager": case_window_manager,
    "small_screen": case_small_screen,
    "fatal_box": case_fatal_box,
    "no_display": case_no_display,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--fail-alloc", required=True)
    parser.add_argument("--service", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--splash", required=True)
    parser.add_argument("--media", required=True)
    parser.add_argument("--state", required=True)
    parser.add_argument("what", choices=["setup", "cleanup"] + sorted(CASES))
    args = parser.parse_args()
    try:
        if args.what == "setup":
            setup(args)
        elif args.what == "cleanup":
            cleanup(args)
        else:
            started = time.monotonic()
            CASES[args.what](Run(args))
            print("%s: passed in %.1f s" % (args.what, time.monotonic() - started))
    except Failure as failure:
        print("%s: FAILED: %s" % (args.what, failure))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
