#!/usr/bin/env python3
"""Reliability of quorvel.exe under Wine: hostile texts, a misbehaving parse service and a soak
of launch/return cycles. Driven and observed from outside as in e2e.py, whose options and
session this shares; the parse service is tests/reliability's fault service, run in this
process so that a case can close its port or see every connection a decoy gets.

Usage: reliability.py OPTIONS [--cycles N] SCENARIO, scenarios at the bottom."""
import glob
import os
import re
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "reliability"))
import e2e  # noqa: E402
import fault_service  # noqa: E402
import hostile_texts  # noqa: E402
from e2e import EDIT, LAUNCH, RETURN, Program, expect  # noqa: E402
from robot import hexed, unhexed  # noqa: E402


class Services:
    """The parse service on the program's configured port and the two decoys, with the
    recording service's `take`."""

    def __init__(self, args):
        port = int(args.parse_host.rsplit(":", 1)[1])
        log = os.path.join(args.session, "requests.log")
        try:
            self.parse = fault_service.ParseService(port, log).start()
            self.other = fault_service.Listener(hostile_texts.OTHER_PORT).start()
            self.elsewhere = fault_service.Listener(fault_service.ELSEWHERE_PORT).start()
        except OSError as e:
            raise SystemExit(f"cannot listen on the parse service's or the decoys' ports: {e}")
        self.taken = 0

    def targets(self):
        return [line.split(" ")[1] if line.count(" ") == 2 else line
                for line in self.parse.lines]

    def take(self, count, timeout=30.0, settle=1.0):
        """Waits for `count` more requests, then `settle` seconds for extra ones; returns the
        request targets since the last take."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and len(self.parse.lines) - self.taken < count:
            time.sleep(0.02)
        time.sleep(settle)
        taken = self.targets()[self.taken:]
        self.taken += len(taken)
        return taken

    def untouched(self, what):
        expect(self.other.connections == 0, f"{what}: the decoy was contacted: {self.other.lines}")

    def close(self):
        for listener in (self.parse, self.other, self.elsewhere):
            listener.stop()


def answers(p, robot, args, what, timeout=e2e.ENGINE_STALL):
    """The program is alive, shows no box beside its window, and 返回机场 brings the splash back."""
    code = p.exit_code(0)
    if not expect(code is None, f"{what}: the program ended with {code}"):
        return False
    boxes = robot("boxes", p.index)
    expect(boxes[0] == "0", f"{what}: a box {unhexed(boxes[1]).decode()!r} "
                            f"{unhexed(boxes[2]).decode()!r}")
    p.target()
    started = time.monotonic()
    p.click(RETURN)
    report = e2e.splash_shown(robot, args.splash, timeout)
    expect(report[0] == "0", f"{what}: 返回机场 did not bring the splash back: {report}")
    return time.monotonic() - started


def enter(p, robot, text, how="type"):
    """Replaces the address box's text: click, select all, delete, then type or paste."""
    p.click(EDIT)
    robot.key("ctrl+a")
    robot.key("del")
    if how == "type":
        robot.type(text)
    else:
        robot.paste(text)


# ---- hostile and odd texts ------------------------------------------------------------------

def acp(robot, text):
    """`text` as the engine sends it: in the system's ANSI code page, unescaped."""
    if text.isascii():
        return text
    return unhexed(robot("acp", hexed(text))[0]).decode("latin-1")


def texts(s, args, robot, services):
    p = Program(robot, args.exe)
    for row in hostile_texts.TEXTS:
        what, text, how = row.what, row.text, row.how
        # Encoded is as typed here: the engine sends the whole target in the ANSI code page.
        wanted = hostile_texts.expected(row, "wine", lambda t: t)
        if wanted == hostile_texts.SKIP:
            continue
        if wanted is not None:
            wanted = acp(robot, wanted)
        began = time.monotonic()
        enter(p, robot, text, how)
        held = robot.text(EDIT)
        if how == "type" or len(text) > 1000:
            expect(held == text, f"{what}: the box holds {held[:40]!r} ({len(held)} characters)")
        p.click(LAUNCH)
        got = services.take(1, timeout=60)
        took = time.monotonic() - began
        hidden = e2e.splash_hidden(robot)
        sent = got[0] if got else None
        if sent is None:
            print(f"{what}: no request ({took:.1f} s)")
        elif len(sent) > 120:
            print(f"{what}: sent a {len(sent)}-character target in {took:.1f} s")
        else:
            print(f"{what}: sent {sent!r}")
        expect(len(got) <= 1, f"{what}: {len(got)} requests")
        expect(sent is None or sent.startswith("/?url="), f"{what}: sent {sent!r}")
        if wanted is not None:
            expect(sent == wanted, f"{what}: sent {str(sent)[:100]!r}, wanted {wanted[:100]!r}")
        expect(hidden, f"{what}: the splash is still shown")
        services.untouched(what)
        expect(services.elsewhere.connections == 0, f"{what}: reached {services.elsewhere.lines}")
        if not answers(p, robot, args, what):
            p = Program(robot, args.exe)
    services.take(0, settle=1)
    services.untouched("after the texts")
    robot.key("esc")
    expect(p.exit_code() == 0, "exit code after Esc")


# ---- the parse service misbehaving ----------------------------------------------------------

def launch(p, robot, services, text, requests=1):
    enter(p, robot, text)
    p.click(LAUNCH)
    got = services.take(requests, settle=0.3)
    expect(len(got) == requests, f"{text}: {len(got)} requests, wanted {requests}")
    expect(e2e.splash_hidden(robot), f"{text}: the splash is still shown")
    return got


def fault_refused(p, robot, args, services):
    services.parse.stop()
    try:
        enter(p, robot, "refused")
        p.click(LAUNCH)
        expect(e2e.splash_hidden(robot), "refused: the splash is still shown")
        robot.sleep(1500)  # the engine's failed load
        answers(p, robot, args, "after a refused connection")
    finally:
        services.parse.start()
    launch(p, robot, services, "after-refused")
    answers(p, robot, args, "once the service is back")


def fault_stall(p, robot, args, services):
    launch(p, robot, services, "fault:stall")
    took = answers(p, robot, args, "during the stall", timeout=2)
    print(f"  stall: 返回机场 brought the splash back in {took:.2f} s")
    p.click(LAUNCH)  # the first request still stalls
    expect(len(services.take(1, settle=0.3)) == 1, "no second request during the stall")
    expect(e2e.splash_hidden(robot, 3), "the splash is shown during the second stall")
    answers(p, robot, args, "during the second stall", timeout=2)


def simple_fault(name):
    def run_fault(p, robot, args, services):
        launch(p, robot, services, "fault:" + name)
        robot.sleep(1500)
        answers(p, robot, args, "after " + name)
    return run_fault


def fault_redirect(p, robot, args, services):
    simple_fault("redirect")(p, robot, args, services)
    print(f"  redirect: the other host got {services.elsewhere.lines}")


def fault_new_window(p, robot, args, services):
    # Wine's engine without an HTML engine in the prefix runs no page scripts and follows no
    # link by itself; where it does, the opened pages' requests show here.
    before = len(services.elsewhere.lines)
    simple_fault("new-window")(p, robot, args, services)
    print(f"  new window: the other host got {services.elsewhere.lines[before:]}")


FAULTS = [
    ("connection refused", fault_refused),
    ("a 10-second stall", fault_stall),
    ("a reset mid-page", simple_fault("reset")),
    ("a 500", simple_fault("500")),
    ("a redirect to another host", fault_redirect),
    ("a page opening new windows", fault_new_window),
]


def service_faults(s, args, robot, services):
    p = Program(robot, args.exe)
    for what, fault in FAULTS:
        began = len(e2e.failures), time.monotonic()
        fault(p, robot, args, services)
        print(f"{what}: {'survived' if len(e2e.failures) == began[0] else 'FAILED'} "
              f"in {time.monotonic() - began[1]:.1f} s")
        if p.exit_code(0) is not None:
            p = Program(robot, args.exe)
    services.untouched("after the faults")
    robot.key("esc")
    expect(p.exit_code() == 0, "exit code after Esc")


# ---- no memory while the window is open ----------------------------------------------------

def fault_no_memory(s, args, robot, services):
    """With a long text in the box, the program's address space is capped from outside just
    above what it holds: reading the box for 按钮1 cannot get its block. One box names the size,
    clicks behind it run nothing, and after OK the program ends with -1."""
    length = 4000000
    p = Program(robot, args.exe)
    enter(p, robot, "x" * length, "paste")
    expect(len(robot.text(EDIT)) == length, "the box holds the pasted text")
    pid = unix_process(s, args.exe)
    with open(f"/proc/{pid}/status") as f:
        data_kb = int(re.search(r"^VmData:\s+(\d+) kB", f.read(), re.M).group(1))
    # Room for the box and its dialog, not for the text's block. The cap is on private writable
    # memory: Wine's address space is mostly reserved ahead, so a cap on that would not bite.
    cap = (data_kb + 4096) * 1024
    subprocess.run(["prlimit", "--pid", str(pid), f"--data={cap}:{cap}"], check=True)
    p.click(LAUNCH)
    watched = robot("watch", p.index, 20000)
    expect(watched[:2] == ["box", "1"], f"no box after the click: {watched}")
    boxes = robot("boxes", p.index)
    asked = (length + 1) * 2
    want = f"运行时出错!\r\n\r\n错误信息：分配 {asked} 字节内存失败!\r\n"
    expect(boxes[0] == "1", f"{boxes[0]} boxes")
    expect(unhexed(boxes[1]).decode() == "错误", f"box title {unhexed(boxes[1]).decode()!r}")
    expect(unhexed(boxes[2]).decode() == want, f"box text {unhexed(boxes[2]).decode()!r}")
    for control in (LAUNCH, RETURN, LAUNCH):
        p.click(control)
    expect(services.take(0, settle=2) == [], "a click behind the box sent a request")
    expect(robot("boxes", p.index)[0] == "1", "a click behind the box changed the boxes")
    if boxes[0] != "0":
        robot("okbox", p.index)
    code = p.exit_code(10000)
    if code is None:
        robot("kill", p.index)
    expect(code == 0xFFFFFFFF, f"exit code after OK: {code}")


# ---- soak -----------------------------------------------------------------------------------

def unix_process(s, exe):
    """The Linux process running `exe` in this session's prefix."""
    name = os.path.basename(exe).lower()
    for proc in glob.glob("/proc/[0-9]*"):
        try:
            with open(proc + "/cmdline", "rb") as f:
                argv0 = f.read().split(b"\0")[0].decode(errors="replace")
            with open(proc + "/environ", "rb") as f:
                environ = f.read().split(b"\0")
        except OSError:
            continue
        if (argv0.lower().replace("\\", "/").endswith("/" + name)
                and b"WINEPREFIX=" + s.prefix.encode() in environ):
            return int(proc.rsplit("/", 1)[1])
    return None


def private_kb_and_fds(pid):
    """Private memory (anonymous resident plus swapped) and open descriptors of a process."""
    with open(f"/proc/{pid}/status") as f:
        status = f.read()
    kb = sum(int(m) for m in re.findall(r"^(?:RssAnon|VmSwap):\s+(\d+) kB", status, re.M))
    return kb, len(os.listdir(f"/proc/{pid}/fd"))


def flat(name, values, band, unit=""):
    """Holds when the values, after the warm-up, stay within `band` of each other and the last
    fifth ends no higher than `band` above the first."""
    fifth = max(1, len(values) // 5)
    first, last = sorted(values[:fifth])[fifth // 2], sorted(values[-fifth:])[fifth // 2]
    print(f"  {name}: {min(values)}..{max(values)}{unit} (first {first}, last {last}, "
          f"{last - first:+d}{unit}; band {band}{unit})")
    expect(max(values) - min(values) <= band and last - first <= band,
           f"{name} not flat within {band}{unit}: {values}")


def slope(points):
    """The least-squares slope of (x, y) points."""
    n = len(points)
    mx, my = sum(x for x, _ in points) / n, sum(y for _, y in points) / n
    spread = sum((x - mx) ** 2 for x, _ in points)
    return sum((x - mx) * (y - my) for x, y in points) / spread if spread else 0.0


def soak(s, args, robot, services):
    cycles, batch = args.cycles, 100 if args.cycles >= 1000 else 20
    warm_up = max(batch, cycles // 10)
    p = Program(robot, args.exe)
    enter(p, robot, "soak")
    pid = unix_process(s, args.exe)
    expect(pid is not None, "the program's Linux process")
    launch_at, return_at = p.centre(LAUNCH), p.centre(RETURN)
    samples, done, requests = [], 0, 0
    began = time.monotonic()
    while done < cycles:
        n = min(batch, cycles - done)
        robot("cycles", n, *launch_at, *return_at, timeout=600)
        done += n
        requests += len(services.take(0, settle=0))
        usage = robot("usage", p.index)
        fields = dict(zip(usage[::2], (int(v) for v in usage[1::2])))
        samples.append((done, fields, *private_kb_and_fds(pid)))
    took = time.monotonic() - began
    requests += len(services.take(cycles - requests, settle=0.5))
    print(f"{cycles} cycles in {took:.0f} s ({1000 * took / cycles:.0f} ms each), "
          f"{requests} requests; after {warm_up} warm-up cycles:")
    expect(requests == cycles, f"{requests} requests for {cycles} launches")
    settled = [x for x in samples if x[0] >= warm_up]
    gui = [x[1] for x in settled]
    if any(g["gdi"] or g["user"] for g in gui):
        flat("GDI objects (GetGuiResources)", [g["gdi"] for g in gui], 0)
        flat("USER objects (GetGuiResources)", [g["user"] for g in gui], 0)
    else:
        print("  GetGuiResources: 0 for every process here (the system does not count them)")
    expect(all(g["gditable"] >= 0 for g in gui), "the GDI handle table could not be read")
    flat("GDI objects (handle table)", [g["gditable"] for g in gui], 0)
    flat("windows", [g["windows"] for g in gui], 1)
    flat("private memory", [x[2] for x in settled], args.private_band_mb * 1024, " kB")
    print(f"  private memory trend: {slope([(x[0], 1024 * x[2]) for x in settled]):+.0f} bytes "
          f"a cycle")
    flat("descriptors", [x[3] for x in settled], 2)
    print("  samples (cycle gdi windows private-kB fds): " + " ".join(
        f"{c}:{f['gditable']}:{f['windows']}:{kb}:{fd}" for c, f, kb, fd in samples))
    code = p.exit_code(0)
    expect(code is None, f"the program ended during the soak with {code}")
    robot.key("esc")
    expect(p.exit_code() == 0, "exit code after Esc")


SCENARIOS = {
    "hostile_texts": ("QV1920", texts),
    "service_faults": ("QV1920", service_faults),
    "soak": ("QV1920", soak),
    "fault_no_memory": ("QV1920", fault_no_memory),
}

if __name__ == "__main__":
    sys.exit(e2e.main(SCENARIOS, Services, options=[("cycles", 300), ("private-band-mb", 4)]))
