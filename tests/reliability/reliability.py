#!/usr/bin/env python3
"""Reliability tests of the Linux program, run by ctest: hostile texts, a misbehaving parse
service, a soak of launch/return cycles, and memcheck.

The program is driven and observed from outside as in tests/gtk (whose e2e module this reuses);
the parse service here is fault_service's, run inside this process so that a case can close its
port or see every connection a decoy listener gets.

    reliability.py [options] setup        starts one Xvfb for the run
    reliability.py [options] cleanup      stops it
    reliability.py [options] CASE         texts | faults | soak | memcheck
"""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
import urllib.parse
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "gtk"))
sys.path.insert(0, HERE)
import e2e  # noqa: E402  (tests/gtk: Program, Run, pixels and input)
import fault_service  # noqa: E402
import hostile_texts  # noqa: E402
from e2e import EDIT_LINE, LAUNCH, RETURN, Failure, check, wait_for  # noqa: E402

OTHER_PORT = hostile_texts.OTHER_PORT
ELSEWHERE_PORT = fault_service.ELSEWHERE_PORT
TEXT_COLOUR_DARK = 80  # the box draws its text black on pale magenta


# --- the run's display -----------------------------------------------------------------------

def setup(args):
    if os.path.exists(args.state):
        cleanup(args, quiet=True)
        shutil.rmtree(args.state, ignore_errors=True)
    os.makedirs(args.state)
    xvfb, display = e2e.start_xvfb(args.state, ["1920x1080x24"])
    log = os.path.join(args.state, "requests.log")
    open(log, "w").close()
    state = {"display": display, "xvfb": xvfb.pid, "log": log}
    with open(os.path.join(args.state, "state.json"), "w", encoding="utf-8") as f:
        json.dump(state, f)
    print("display %s" % state["display"])


def cleanup(args, quiet=False):
    try:
        with open(os.path.join(args.state, "state.json"), encoding="utf-8") as f:
            state = json.load(f)
    except OSError:
        if not quiet:
            print("nothing to stop")
        return
    try:
        os.kill(state["xvfb"], signal.SIGTERM)
    except OSError:
        pass


# --- helpers ---------------------------------------------------------------------------------

def start_listener(listener, what):
    try:
        return listener.start()
    except OSError as error:
        raise Failure("cannot listen on 127.0.0.1:%d for %s (%s); is scripts/run.sh or another "
                      "suite running?" % (listener.port, what, error))


class Services:
    """The parse service on the program's configured port, and the decoys."""

    def __init__(self, run):
        port = int(run.args.host.rsplit(":", 1)[1])
        self.parse = start_listener(fault_service.ParseService(port, run.state["log"]),
                                    "the parse service")
        self.other = start_listener(fault_service.Listener(OTHER_PORT), "the decoy")
        self.elsewhere = start_listener(fault_service.Listener(ELSEWHERE_PORT), "the redirect")

    def close(self):
        for listener in (self.parse, self.other, self.elsewhere):
            listener.stop()


def splash_hidden(p):
    return p.splash_differs(0, 0, 400, 300)[0] > 0


def splash_shown(p):
    return p.splash_differs(0, 0, 1393, 632)[0] == 0


def watched(p):
    """Drains the program's stderr on a thread, so that a chatty engine never blocks it on a
    full pipe during a long run; keeps the tail for the report."""
    p.err = bytearray()

    def drain():
        for chunk in iter(lambda: p.process.stderr.read1(65536), b""):
            p.err += chunk
            del p.err[:-65536]
    threading.Thread(target=drain, daemon=True).start()
    return p


def alive(p, what):
    check(p.process.poll() is None, "the program ended (%r) %s: %s" % (
        p.process.returncode, what, bytes(p.err).decode(errors="replace")[-2000:]))


def only_window(p, what):
    """No error box or other window of the program's beside its one window."""
    out = p.run.tool("xdotool", "search", "--onlyvisible", "--all", "--class", "quorvel",
                     check_rc=False)
    check(out.split() == [p.window], "windows %s: %r (the program's is %s)" % (what, out.split(),
                                                                            p.window))


def back_to_splash(p, what, timeout=10):
    """返回机场 answers: the picture is back."""
    started = time.monotonic()
    p.click(*RETURN)
    wait_for("the splash to come back %s" % what, lambda: splash_shown(p), timeout=timeout)
    return time.monotonic() - started


def clear_box(p):
    p.click(*EDIT_LINE)
    p.keys("ctrl+a", "BackSpace")


def box_has_text(p):
    """More dark pixels in the address box than the caret alone makes."""
    colours = p.colours(4, 643, 544, 50)
    return sum(n for (r, g, b), n in colours.items() if max(r, g, b) < TEXT_COLOUR_DARK) > 60


def paste(p, text):
    """Puts `text` on the clipboard from another client and pastes it with Ctrl+V."""
    env = p.run.env()
    owner = subprocess.Popen(["xclip", "-quiet", "-selection", "clipboard", "-i"], env=env,
                             stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    try:
        owner.stdin.write(text.encode("utf-8"))
        owner.stdin.close()
        wait_for("xclip to own the clipboard", lambda: subprocess.run(
            ["xclip", "-selection", "clipboard", "-o", "-t", "TARGETS"], env=env,
            capture_output=True, timeout=10).returncode == 0)
        p.keys("ctrl+v")
        # GTK inserts the whole selection at once, after its transfer.
        wait_for("the pasted text to show", lambda: box_has_text(p), timeout=90, interval=0.2)
    finally:
        owner.kill()
        owner.wait()


# --- hostile and odd texts -------------------------------------------------------------------

# GTK's entry buffer holds at most 65,535 bytes with its terminator: a longer paste is cut there,
# on a character boundary, before the program can read it. The program reads what the box holds.
BOX_CAPACITY = 65534


def held(text):
    """What the box keeps of `text`, as the engine sends it (non-ASCII percent-encoded)."""
    kept = text.encode("utf-8")[:BOX_CAPACITY].decode("utf-8", errors="ignore")
    return urllib.parse.quote(kept, safe="".join(map(chr, range(0x21, 0x7f))))


def case_texts(run):
    services = Services(run)
    p = watched(e2e.Program(run))
    failures, notes = [], []
    try:
        for row in hostile_texts.TEXTS:
            what, text, how = row.what, row.text, row.how
            expected = hostile_texts.expected(row, "webkit", held)
            if expected == hostile_texts.SKIP:
                continue
            try:
                mark = len(p.requests())
                clear_box(p)
                if how == "type":
                    p.type(text)
                else:
                    paste(p, text)
                started = time.monotonic()
                p.click(*LAUNCH)
                wait_for("the splash to be hidden", lambda: splash_hidden(p), timeout=30)
                try:
                    sent = p.wait_requests(mark + 1, timeout=30)[mark]
                except Failure:
                    sent = None
                took = time.monotonic() - started
                if sent is None:
                    notes.append("%s: no request within 30 s" % what)
                elif len(sent) > 200:
                    notes.append("%s (%d bytes): sent a %d-character target, %s, in %.1f s" % (
                        what, len(text.encode()), len(sent),
                        "the text whole" if sent == expected and len(text.encode())
                        <= BOX_CAPACITY else "what the box held" if sent == expected
                        else "NEITHER the text nor what the box held", took))
                else:
                    notes.append("%s: sent %r" % (what, sent))
                if expected is not None:
                    check(sent == expected, "%s: sent %r, expected %r" % (what, sent, expected))
                check(sent is None or sent.startswith("/?url="), "%s: sent %r" % (what, sent))
                check(services.other.connections == 0, "%s: the decoy was contacted: %r" % (
                    what, services.other.lines))
                check(services.elsewhere.connections == 0, "%s: reached %r" % (
                    what, services.elsewhere.lines))
                alive(p, "after " + what)
                back_to_splash(p, "after " + what, timeout=30)
                only_window(p, "after " + what)
            except Failure as failure:
                failures.append(str(failure))
                if p.process.poll() is not None:
                    p = watched(e2e.Program(run))
        p.settle(1.0)  # late requests (a script run after all) would show here
        check(services.other.connections == 0, "the decoy was contacted: %r" % services.other.lines)
        for line in notes:
            print(line)
        check(not failures, "\n".join(failures))
        p.keys("Escape")
        check(p.wait_exit(30) == 0, "exit code after Esc: %r" % p.process.returncode)
    finally:
        p.close()
        services.close()


# --- the parse service misbehaving -----------------------------------------------------------

def launch(p, text):
    mark = len(p.requests())
    clear_box(p)
    p.type(text)
    p.click(*LAUNCH)
    return mark


def fault_refused(p, services):
    services.parse.stop()
    try:
        launch(p, "refused")
        wait_for("the splash to be hidden", lambda: splash_hidden(p))
        p.settle(1.5)  # the engine's failed load and its error page
        alive(p, "after a refused connection")
        only_window(p, "after a refused connection")
        back_to_splash(p, "after a refused connection")
    finally:
        start_listener(services.parse, "the parse service")
    mark = launch(p, "after-refused")
    check(p.wait_requests(mark + 1)[mark] == "/?url=after-refused", "no request once back")
    back_to_splash(p, "once the service is back")


def fault_stall(p, services):
    mark = launch(p, "fault:stall")
    p.wait_requests(mark + 1)
    wait_for("the splash to be hidden during the stall", lambda: splash_hidden(p))
    took = back_to_splash(p, "during the stall", timeout=2)
    print("  stall: 返回机场 brought the splash back in %.2f s" % took)
    p.click(*LAUNCH)  # the first request still stalls
    p.wait_requests(mark + 2)
    wait_for("the splash to be hidden again during the stall", lambda: splash_hidden(p), 3)
    back_to_splash(p, "during the second stall", timeout=2)
    alive(p, "during the stall")


def simple_fault(name, settle=1.5):
    def run_fault(p, services):
        mark = launch(p, "fault:" + name)
        p.wait_requests(mark + 1)
        wait_for("the splash to be hidden", lambda: splash_hidden(p))
        p.settle(settle)
        alive(p, "after " + name)
        only_window(p, "after " + name)
        back_to_splash(p, "after " + name)
    return run_fault


def fault_redirect(p, services):
    simple_fault("redirect")(p, services)
    print("  redirect: the other host got %r" % services.elsewhere.lines)


def fault_new_window(p, services):
    opened = p.new_windows
    # Counted by requests: hovering a link may open a connection ahead of a click.
    reached = len(services.elsewhere.lines)
    mark = launch(p, "fault:new-window")
    p.wait_requests(mark + 1)
    # The page is up when its two halves show their colours.
    wait_for("the page", lambda: p.pixel(300, 300) == (0x50, 0x30, 0x20)
             and p.pixel(1000, 300) == (0x30, 0x50, 0x20), timeout=10)
    p.click(300, 300)   # target=_blank
    p.click(1000, 300)  # window.open on a click
    wanted = {"http://127.0.0.1:%d/blank" % ELSEWHERE_PORT,
              "http://127.0.0.1:%d/opened" % ELSEWHERE_PORT}
    wait_for("the default browser to be asked for %r (got %r)" % (wanted, opened()),
             lambda: wanted <= set(opened()))
    p.settle(1.0)
    print("  new window: the browser was given %r" % opened())
    check(len(p.requests()) == mark + 1, "the view navigated: %r" % p.requests()[mark:])
    check(len(services.elsewhere.lines) == reached, "the view itself went to %r"
          % services.elsewhere.lines[reached:])
    alive(p, "after the new windows")
    only_window(p, "after the new windows")
    back_to_splash(p, "after the new windows")


FAULTS = [
    ("connection refused", fault_refused),
    ("a 10-second stall", fault_stall),
    ("a reset mid-page", simple_fault("reset")),
    ("a 500", simple_fault("500")),
    ("a redirect to another host", fault_redirect),
    ("a page opening new windows", fault_new_window),
]


def case_faults(run):
    opened = e2e.stand_in_browser(run)
    services = Services(run)
    p = watched(e2e.Program(run))
    p.new_windows = opened
    failures = []
    try:
        for what, fault in FAULTS:
            started = time.monotonic()
            try:
                fault(p, services)
                print("%s: survived in %.1f s" % (what, time.monotonic() - started))
            except Failure as failure:
                failures.append("%s: %s" % (what, failure))
                if p.process.poll() is not None:
                    p = watched(e2e.Program(run))
                    p.new_windows = opened
        check(services.other.connections == 0, "the decoy was contacted")
        check(not failures, "\n".join(failures))
        p.keys("Escape")
        check(p.wait_exit(30) == 0, "exit code after Esc: %r" % p.process.returncode)
    finally:
        p.close()
        services.close()


# --- soak ------------------------------------------------------------------------------------

def resources(pid):
    with open("/proc/%d/status" % pid) as f:
        rss = int(re.search(r"VmRSS:\s+(\d+) kB", f.read()).group(1))
    return rss, len(os.listdir("/proc/%d/fd" % pid))


def case_soak(run):
    cycles = run.args.cycles
    warm_up = max(20, cycles // 10)
    rss_band_kb = run.args.rss_band_mb * 1024
    services = Services(run)
    p = watched(e2e.Program(run))
    samples = []
    try:
        p.click(*EDIT_LINE)
        p.type("soak")
        started = time.monotonic()
        for n in range(1, cycles + 1):
            p.click(*LAUNCH)
            p.wait_requests(n)
            wait_for("cycle %d: the splash to be hidden" % n,
                     lambda: p.splash_differs(0, 0, 64, 64)[0] > 0)
            p.click(*RETURN)
            wait_for("cycle %d: the splash to come back" % n,
                     lambda: p.splash_differs(0, 0, 64, 64)[0] == 0)
            if n % 10 == 0 or n == warm_up:
                samples.append((n,) + resources(p.process.pid))
        took = time.monotonic() - started
        alive(p, "after the soak")
        settled = [s for s in samples if s[0] >= warm_up]
        rss = [s[1] for s in settled]
        fds = [s[2] for s in settled]
        first = sorted(rss[:5])[len(rss[:5]) // 2]
        last = sorted(rss[-5:])[len(rss[-5:]) // 2]
        print("%d cycles in %.0f s (%.0f ms each); after %d warm-up cycles:" % (
            cycles, took, 1000 * took / cycles, warm_up))
        print("  RSS %d..%d kB (median of the first samples %d kB, of the last %d kB, %+d kB)"
              % (min(rss), max(rss), first, last, last - first))
        print("  descriptors %d..%d" % (min(fds), max(fds)))
        print("  samples (cycle, RSS kB, fds): " + " ".join("%d:%d:%d" % s for s in samples))
        check(max(fds) - min(fds) <= 2, "descriptors not flat: %d..%d" % (min(fds), max(fds)))
        check(last - first <= rss_band_kb and max(rss) - min(rss) <= 2 * rss_band_kb,
              "RSS not flat within %d kB: %d..%d, first %d, last %d" % (
                  rss_band_kb, min(rss), max(rss), first, last))
        p.keys("Escape")
        check(p.wait_exit(30) == 0, "exit code after Esc: %r" % p.process.returncode)
    finally:
        p.close()
        services.close()


# --- memcheck --------------------------------------------------------------------------------

class UnderValgrind(e2e.Program):
    """The program started under memcheck: only the main process is checked (the engine's own
    processes are started by WebKit and run natively)."""

    def __init__(self, run, xml_file):
        self.run = run
        self.screen = 0
        self.log_mark = len(run.log_lines())
        env = run.env()
        env["GLIBCXX_FORCE_NEW"] = "1"  # no libstdc++ pool to mistake for a leak
        command = ["valgrind", "--tool=memcheck", "--leak-check=full",
                   "--show-leak-kinds=definite", "--errors-for-leak-kinds=definite",
                   "--trace-children=no", "--num-callers=40", "--xml=yes",
                   "--xml-file=" + xml_file, "--suppressions=" + run.args.suppressions,
                   run.args.program]
        self.process = subprocess.Popen(command, cwd=run.args.state, env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        try:
            self.window = wait_for("the window to appear", self.find_window, timeout=180,
                                   interval=0.5)
            self.left, self.top, self.width, self.height = self.geometry()
            wait_for("the window to be painted",
                     lambda: self.pixel(1200, 700) == e2e.BACKGROUND, timeout=120)
        except BaseException:
            self.close()
            raise


def definite_leaks(xml_file):
    """Each definite leak as (bytes, frames), frames as 'function (object)'."""
    leaks = []
    for error in ET.parse(xml_file).getroot().iter("error"):
        if error.findtext("kind") != "Leak_DefinitelyLost":
            continue
        frames = ["%s (%s)" % (f.findtext("fn") or "?", f.findtext("obj") or "?")
                  for f in error.find("stack").iter("frame")]
        leaks.append((int(error.find("xwhat").findtext("leakedbytes")), frames))
    return leaks


def case_memcheck(run):
    xml_file = os.path.join(run.args.state, "memcheck.xml")
    services = Services(run)
    p = watched(UnderValgrind(run, xml_file))
    try:
        p.click(*EDIT_LINE)
        p.type("memcheck")
        p.click(*LAUNCH)
        p.wait_requests(1, timeout=120)
        wait_for("the splash to be hidden", lambda: splash_hidden(p), timeout=120, interval=0.5)
        p.click(*RETURN)
        wait_for("the splash to come back", lambda: splash_shown(p), timeout=120, interval=0.5)
        p.keys("Escape")
        check(p.wait_exit(300) == 0, "exit code after Esc: %r" % p.process.returncode)
    finally:
        p.close()
        services.close()
    leaks = definite_leaks(xml_file)
    program = os.path.realpath(run.args.program)
    ours = [leak for leak in leaks if any(program in frame for frame in leak[1])]
    print("definite leaks not suppressed: %d (%d bytes); with frames in the program: %d" % (
        len(leaks), sum(b for b, _ in leaks), len(ours)))
    for size, frames in leaks:
        print("  %d bytes:\n    %s" % (size, "\n    ".join(frames[:14])))
    suppressed = ET.parse(xml_file).getroot().find("suppcounts")
    for pair in suppressed.iter("pair") if suppressed is not None else []:
        print("suppressed %s: %s" % (pair.findtext("name"), pair.findtext("count")))
    check(not ours, "definite leaks in the program's own code: %d" % len(ours))


CASES = {"texts": case_texts, "faults": case_faults, "soak": case_soak,
         "memcheck": case_memcheck}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--splash", required=True)
    parser.add_argument("--state", required=True)
    parser.add_argument("--suppressions", default=os.path.join(HERE, "memcheck.supp"))
    parser.add_argument("--cycles", type=int, default=200)
    parser.add_argument("--rss-band-mb", type=float, default=4.0)
    parser.add_argument("what", choices=["setup", "cleanup"] + sorted(CASES))
    args = parser.parse_args()
    try:
        if args.what == "setup":
            setup(args)
        elif args.what == "cleanup":
            cleanup(args)
        else:
            started = time.monotonic()
            CASES[args.what](e2e.Run(args))
            print("%s: passed in %.1f s" % (args.what, time.monotonic() - started))
    except Failure as failure:
        print("%s: FAILED: %s" % (args.what, failure))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
