#!/usr/bin/env python3
"""End-to-end tests of quorvel.exe under Wine.

The program is started and watched from outside only: our robot (robot/robot.cpp) runs in the
same prefix and uses what any other program could (window lists, screen pixels, synthetic
input, the focus of another thread); a loopback parse service records what the web engine
asks for. Usage: e2e.py OPTIONS SCENARIO, scenarios at the bottom."""
import argparse
import os
import subprocess
import sys
import time

from parse_service import RecordingService
from robot import Robot, hexed, unhexed
from session import Session, windows_path

# The controls' child identifiers, in the order they are created (bottom of the stack first).
WEB, PICTURE, EDIT, LAUNCH, RETURN = 100, 110, 120, 130, 140
TITLE = "Quorvel解析播放"
BACKGROUND = "008080"
EDIT_INSIDE = "ffa8ff"
FRAME = (1507, 728)
SPLASH_SIZE = (1393, 632)  # the part of the picture the box shows
WS_MAXIMIZEBOX, WS_MINIMIZEBOX, WS_SYSMENU, WS_THICKFRAME, WS_CAPTION = (
    0x10000, 0x20000, 0x80000, 0x40000, 0xC00000)
FATAL_TEXT = "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"

failures = []


def expect(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)
    return condition


class Program:
    """One running quorvel.exe, with its main window as the robot's target."""

    def __init__(self, robot, exe, **launch):
        self.robot = robot
        self.index = robot.launch(exe, **launch)
        robot("window", self.index, 20000)
        self.controls = robot.children()

    def target(self):
        self.robot("window", self.index, 5000)

    def centre(self, control):
        left, top, width, height = self.controls[control]["rect"]
        return left + width // 2, top + height // 2

    def click(self, control):
        self.robot.click(*self.centre(control))

    def focus_edit_and_type(self, text):
        """Replaces the address box's text as a user would: click, select all, type."""
        self.click(EDIT)
        self.robot.key("ctrl+a")
        if not text:
            self.robot.key("del")
        elif len(text) > 200:
            self.robot.paste(text)
        else:
            self.robot.type(text)

    def exit_code(self, ms=30000):
        return self.robot.wait_exit(self.index, ms)


# The engine navigates on the program's thread and a busy machine can hold it for seconds, so
# what a click shows is waited for, not looked at once.
ENGINE_STALL = 25.0


def splash_shown(robot, png, timeout=ENGINE_STALL):
    """Waits until the splash shows pixel for pixel; returns the last mismatch report."""
    deadline = time.monotonic() + timeout
    while True:
        report = robot.splash_mismatches(png, *SPLASH_SIZE)
        if report[0] == "0" or time.monotonic() > deadline:
            return report
        time.sleep(0.3)


def splash_hidden(robot, timeout=ENGINE_STALL):
    """Waits until the picture's area shows no trace of the picture (the web view paints
    nothing here)."""
    deadline = time.monotonic() + timeout
    while robot.uniform(0, 0, *SPLASH_SIZE) is None:
        if time.monotonic() > deadline:
            return False
        time.sleep(0.3)
    return True


# ---- scenarios ----------------------------------------------------------------------------

def layout_1920(s, args, robot, service):
    p = Program(robot, args.exe)
    info = robot.info()
    expect(info["screen"] == (1920, 1080), f"screen {info['screen']}")
    expect(info["frame"] == (206, 176) + FRAME, f"frame {info['frame']}")
    expect(info["title"] == TITLE, f"title {info['title']!r}")
    style = info["style"]
    expect(style & WS_CAPTION == WS_CAPTION and style & WS_SYSMENU and style & WS_MINIMIZEBOX,
           f"caption, system menu and minimise box: style {style:x}")
    expect(not style & WS_MAXIMIZEBOX and not style & WS_THICKFRAME,
           f"no maximise box, fixed frame: style {style:x}")

    # The icons: the file's own, and the small one in the title bar.
    icons = robot("fileicon", hexed(windows_path(args.exe)), hexed(windows_path(args.icon)))
    expect(icons == ["16:1", "32:1", "48:1"], f"file icon against the .ico: {icons}")
    expect(robot("captionicon", hexed(windows_path(args.icon)))[0] == "found",
           "the 16x16 icon shows in the title bar")

    # Controls: identifiers, places, stacking (children come topmost first).
    expected = [(RETURN, (888, 640, 176, 56)), (LAUNCH, (576, 648, 192, 48)),
                (EDIT, (0, 640, 552, 56)), (PICTURE, (0, 0, 1504, 632)),
                (WEB, (0, 0, 1504, 640))]
    stack = [cid for cid in p.controls]
    expect(stack == [cid for cid, _ in expected], f"stacking order {stack}")
    for cid, rect in expected:
        c = p.controls.get(cid)
        expect(c and c["rect"] == rect and c["visible"], f"control {cid}: {c}")
    expect(p.controls[EDIT]["exstyle"] & 0x200 and not p.controls[EDIT]["style"] & 0x800000,
           "edit box: sunken client edge, no plain border")

    # Pixels. The client is narrower than the controls reach; what lies past it is cut off.
    client_width, client_height = info["client"][2:]
    report = splash_shown(robot, args.splash)
    expect(report[0] == "0", f"splash pixel for pixel: {' '.join(report)} wrong")
    face = robot("facecolour")[0]
    strip = robot.uniform(1393, 0, min(1504, client_width) - 1393, 632)
    expect(strip == face, f"strip beside the picture in button face {face}: {strip}")
    web_strip = robot.uniform(0, 632, client_width, 8)
    expect(web_strip == "ffffff", f"web view strip y 632..639 uncovered (white): {web_strip}")
    for rect in [(552, 640, 24, 56), (768, 648, 120, 48), (576, 640, 192, 8),
                 (1064, 640, client_width - 1064, client_height - 640),
                 (0, 696, client_width, client_height - 696)]:
        colour = robot.uniform(*rect)
        expect(colour == BACKGROUND, f"window background at {rect}: {colour}")
    # Inside the edit box's sunken edge, margins and text line alike (empty, no caret).
    inside = robot.uniform(2, 642, 548, 52)
    expect(inside == EDIT_INSIDE, f"edit box inside: {inside}")
    resources(robot, args)

    # No maximise: a double click on the title bar leaves the frame alone.
    frame = info["frame"]
    robot.mouse("double", 700, frame[1] - info["client"][1] + 10)
    robot.sleep(500)
    expect(robot.info()["frame"] == frame, "double click on the title bar changes nothing")
    robot.key("esc")
    expect(p.exit_code() == 0, "exit code after Esc")


def resources(robot, args):
    found = robot("resources", hexed(windows_path(args.exe)), hexed(windows_path(args.splash)))
    expect(found[:6] == ["splash", "1", "version", "1", "icon", "1"],
           f"embedded picture, version resource and DEFAULT_ICON: {found[:6]}")
    manifest = unhexed(found[7]).decode(errors="replace")
    arch = "amd64" if args.arch == "x64" else "x86"
    expect('name="Microsoft.Windows.Common-Controls"' in manifest and 'version="6.0.0.0"' in manifest,
           "manifest asks for common controls 6")
    expect(manifest.count(f'processorArchitecture="{arch}"') >= 1 and
           "processorArchitecture=\"" + ("x86" if arch == "amd64" else "amd64") not in manifest,
           f"manifest architecture {arch}")
    expect("dpiaware" not in manifest.lower() and "dpiawareness" not in manifest.lower(),
           "manifest declares no DPI awareness")


def layout_1366(s, args, robot, service):
    p = Program(robot, args.exe)
    info = robot.info()
    expect(info["screen"] == (1366, 768), f"screen {info['screen']}")
    expect(info["frame"] == (-70, 20) + FRAME, f"frame {info['frame']}")
    expect(info["title"] == TITLE, f"title {info['title']!r}")
    robot.key("esc")
    expect(p.exit_code() == 0, "exit code after Esc")


def keyboard(s, args, robot, service):
    p = Program(robot, args.exe)
    expect(robot.focus() == WEB, f"focus at start: {robot.focus()}")

    # Tab and Shift+Tab through the cycle; the picture box is never a stop.
    p.click(EDIT)
    expect(robot.focus() == EDIT, "a click gives the edit box the focus")
    for chord, want in [("tab", LAUNCH), ("tab", RETURN), ("tab", WEB), ("tab", EDIT),
                        ("shift+tab", WEB), ("shift+tab", RETURN), ("shift+tab", LAUNCH),
                        ("shift+tab", EDIT)]:
        robot.key(chord)
        got = robot.focus()
        expect(got == want, f"{chord} should focus {want}, focused {got}")

    # The picture box takes the clicks over its area: none reaches the web view beneath.
    robot.click(700, 300)
    expect(robot.focus() == EDIT, f"a click on the picture moved the focus to {robot.focus()}")

    # Enter starts nothing, in the edit box or on a button.
    p.focus_edit_and_type("enter")
    robot.key("enter")
    expect(robot.focus() == EDIT, "Enter leaves the focus in the edit box")
    robot.key("tab")
    robot.key("enter")
    expect(service.take(0, settle=4) == [], "Enter sent a request")
    expect(splash_shown(robot, args.splash, 0)[0] == "0", "Enter hid the splash")

    # Pressed on a button, released elsewhere: nothing runs.
    for button in (LAUNCH, RETURN):
        robot.mouse("down", *p.centre(button))
        robot.mouse("move", 300, 300)
        robot.mouse("up", 300, 300)
    expect(service.take(0, settle=4) == [], "press and release elsewhere sent a request")
    expect(splash_shown(robot, args.splash, 0)[0] == "0", "press and release elsewhere hid the splash")

    # A click in the edit box's margin above its text line places no caret: no focus moves.
    p.click(LAUNCH)  # the click itself launches; the focus is now on the button
    got = service.take(1)
    expect(got == [b"/?url=enter"], f"a click on 按钮1 launches once: {got}")
    p.controls = robot.children()
    robot.click(100, 643)
    expect(robot.focus() == LAUNCH, f"click in the edit margin moved the focus to {robot.focus()}")

    # Space on a focused 按钮1 launches once.
    robot.key("space")
    got = service.take(1)
    expect(got == [b"/?url=enter"], f"Space on 按钮1 launches once: {got}")
    expect(splash_hidden(robot), "the splash is hidden after a launch")
    robot.key("esc")
    expect(p.exit_code() == 0, "exit code after Esc")


def launch(s, args, robot, service):
    p = Program(robot, args.exe)
    # 返回机场 before any launch: the splash stays, nothing is requested.
    p.click(RETURN)
    expect(splash_shown(robot, args.splash)[0] == "0", "the splash after 返回机场 at start")
    expect(service.take(0, settle=4) == [], "返回机场 at start requested something")

    long_text = "http://v.example/watch?v=" + "".join(
        "abcdefghijklmnopqrstuvwxyz0123456789"[i % 36] for i in range(10000 - 25))
    acp_chinese = unhexed(robot("acp", hexed("中文"))[0])
    # What arrives is the text as the engine sends it: it escapes blanks, drops trailing ones,
    # keeps a fragment to itself and sends other characters in the system's ANSI code page.
    cases = [
        ("", b"/?url="),
        ("  lead", b"/?url=%20%20lead"),
        ("trail  ", b"/?url=trail"),
        ("a&b=c", b"/?url=a&b=c"),
        ("clip#part", b"/?url=clip"),
        ("what?now", b"/?url=what?now"),
        ("中文", b"/?url=" + acp_chinese),
        (long_text, b"/?url=" + long_text.encode()),
    ]
    for text, want in cases:
        p.focus_edit_and_type(text)
        p.click(LAUNCH)
        got = service.take(1)
        shown = repr(text) if len(text) < 40 else f"{len(text)} characters"
        expect(got == [want], f"launch {shown}: requests {[g[:80] for g in got]}"
                              f" ({[len(g) for g in got]} bytes), wanted {want[:80]!r}")
        expect(splash_hidden(robot), f"splash hidden after launching {shown}")

    # The same text twice: two requests.
    p.focus_edit_and_type("again")
    p.click(LAUNCH)
    p.click(LAUNCH)
    expect(service.take(2) == [b"/?url=again"] * 2, "the same text twice gives two requests")

    # 返回机场 after a launch shows the splash again, as it was; launching again hides it.
    p.click(RETURN)
    expect(splash_shown(robot, args.splash)[0] == "0", "the splash after 返回机场")
    p.click(LAUNCH)
    expect(service.take(1) == [b"/?url=again"], "launch after 返回机场")
    expect(splash_hidden(robot), "splash hidden again")
    robot.key("esc")
    expect(p.exit_code() == 0, "exit code after Esc")


def closing(s, args, robot, service):
    def esc_from_edit(p):
        p.click(EDIT)
        robot.key("esc")

    def esc_from_button(p):
        p.click(EDIT)
        robot.key("tab")
        expect(robot.focus() == LAUNCH, "Tab to 按钮1 before Esc")
        robot.key("esc")

    def close_box(p):
        robot("closebox", "click")

    def alt_f4(p):
        robot.key("alt+f4")

    def system_menu(p):
        # Alt+Space opens the system menu; C is its Close item's key in this prefix's language.
        robot.key("alt+space")
        robot.sleep(300)
        robot.key("c")

    # Log-off: the window does not object, and stays until the session really ends.
    p = Program(robot, args.exe)
    expect(robot("endsession")[0] == "1", "the window objects to the end of the session")
    expect(p.exit_code(500) is None, "the query alone closed the window")
    robot.key("esc")
    expect(p.exit_code() == 0, "exit code after Esc")

    for way in (esc_from_edit, esc_from_button, close_box, alt_f4, system_menu):
        p = Program(robot, args.exe)
        way(p)
        code = p.exit_code()
        if code is None:
            robot("kill", p.index)
        expect(code == 0, f"{way.__name__}: exit code {code}")
    expect(service.take(0, settle=0) == [], "closing requested something")


def instances(s, args, robot, service):
    # Started from another folder, with arguments: they change nothing and the current
    # directory becomes the program's folder.
    elsewhere = os.path.join(s.dir, "elsewhere")
    os.makedirs(elsewhere, exist_ok=True)
    first = Program(robot, args.exe, args=["--reset", "/x", "http://a.example/"], cwd=elsewhere)
    cwd = unhexed(robot("cwd", first.index)[0]).decode()
    folder = windows_path(os.path.dirname(args.exe))
    expect(cwd.rstrip("\\").lower() == folder.lower(), f"current directory {cwd!r}, wanted {folder!r}")
    info = robot.info()
    expect(info["frame"] == (206, 176) + FRAME and info["title"] == TITLE,
           f"window with arguments: {info['frame']} {info['title']!r}")
    expect(robot.focus() == WEB and service.take(0, settle=0.5) == [],
           "arguments neither move the focus nor request anything")

    # A second instance gets its own window and lives on its own.
    first.click(EDIT)  # remembered when the second instance takes the activation
    second = Program(robot, args.exe)
    expect(first.exit_code(0) is None, "the first instance still runs")
    second.focus_edit_and_type("second")
    second.click(LAUNCH)
    expect(service.take(1) == [b"/?url=second"], "the second instance launches")
    robot.key("esc")
    expect(second.exit_code() == 0, "the second instance ends with 0")
    expect(first.exit_code(500) is None, "the first instance outlives the second")
    first.target()
    focused = robot.focus()
    expect(focused == EDIT, f"activated again, the first instance gives the focus back to the "
                            f"edit box: focused {focused}")
    first.focus_edit_and_type("first")
    first.click(LAUNCH)
    expect(service.take(1) == [b"/?url=first"], "the first instance still launches")
    robot.key("esc")
    expect(first.exit_code() == 0, "the first instance ends with 0")


def fault_no_browser(s, args, robot, service):
    # Without the WebBrowser control the window cannot be built: one error box, no window.
    # Wine's per-program load order removes the control's DLLs for this program only.
    name = hexed(os.path.basename(args.exe))
    for dll in ("ieframe", "shdocvw"):
        robot("override", name, dll, "-")
    try:
        index = robot.launch(args.exe)
        watched = robot("watch", index, 20000)
        expect(watched == ["box", "1", "other", "0"], f"before the box: {watched}")
        robot.sleep(500)
        boxes = robot("boxes", index)
        expect(int(boxes[0]) == 1, f"{boxes[0]} message boxes")
        expect(unhexed(boxes[1]).decode() == "错误", f"box title {unhexed(boxes[1]).decode()!r}")
        text = unhexed(boxes[2]).decode()
        expect(text == FATAL_TEXT, f"box text {text!r}")
        expect(robot("watch", index, 300) == ["box", "1", "other", "0"], "a window beside the box")
        if int(boxes[0]) >= 1:
            robot("okbox", index)
        code = robot.wait_exit(index, 10000)
        if code is None:
            robot("kill", index)
        # -1 in all 32 bits; Wine's own loader reports it to Unix as 255.
        expect(code == 0xFFFFFFFF, f"exit code after OK: {code}")
    finally:
        robot("override", name, "clear", "-")


def imports(args):
    out = subprocess.run([args.objdump, "-p", args.exe], capture_output=True, text=True,
                         check=True).stdout
    dlls = sorted({line.split(":", 1)[1].strip().lower() for line in out.splitlines()
                   if "DLL Name:" in line})
    system = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "ole32.dll",
              "oleaut32.dll", "msvcrt.dll", "advapi32.dll", "shell32.dll", "uxtheme.dll"}
    expect(dlls and set(dlls) <= system, f"imports beyond the system's DLLs: {dlls}")
    expect("(Windows GUI)" in out, "a GUI program")
    folder = os.listdir(os.path.dirname(args.exe))
    expect(not [f for f in folder if f.lower().endswith(".dll")], f"DLLs beside the exe: {folder}")
    size = os.path.getsize(args.exe)
    print(f"{os.path.basename(args.exe)}: {size} bytes, imports {', '.join(dlls)}")


SCENARIOS = {  # name: (desktop, scenario)
    "layout_1920": ("QV1920", layout_1920),
    "layout_1366": ("QV1366", layout_1366),
    "keyboard": ("QV1920", keyboard),
    "launch": ("QV1920", launch),
    "closing": ("QV1920", closing),
    "instances": ("QV1920", instances),
    "fault_no_browser": ("QV1920", fault_no_browser),
}


def main(scenarios=SCENARIOS, serve=RecordingService, options=()):
    """Runs one scenario of `scenarios` with a parse service made by `serve(args)`; `options`
    names further integer options of the caller's scenarios, with their defaults."""
    parser = argparse.ArgumentParser()
    for option in ("session", "wine", "wineserver", "xvfb", "exe", "robot", "splash", "icon",
                   "parse-host", "objdump", "arch"):
        parser.add_argument("--" + option, required=True)
    for option, default in options:
        parser.add_argument("--" + option, type=int, default=default)
    parser.add_argument("scenario")
    args = parser.parse_args()
    began = time.monotonic()

    if args.scenario == "imports":
        imports(args)
        return 1 if failures else 0
    session = Session(args)
    if args.scenario == "session-start":
        session.start()
        return 0
    if args.scenario == "session-stop":
        session.stop()
        return 0
    if not session.state:
        print("no Wine session: run the wine_session_start test first")
        return 1
    if args.arch == "x86" and not session.state.get("x86"):
        print("SKIP: this machine starts no 32-bit programs under Wine (no WoW64 in the prefix)")
        return 77

    desktop, scenario = scenarios[args.scenario]
    service = serve(args)
    robot = Robot(session, desktop)
    try:
        scenario(session, args, robot, service)
    finally:
        robot.close()
        service.close()
    print(f"{args.scenario}: {len(failures)} failures in {time.monotonic() - began:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
