#!/usr/bin/env python3
"""Runs every figure of the benchmark and prints one table. bench/run.sh builds what this needs
and calls it; see there for the options."""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PORT = 47812
PICTURE_BYTES = 1393 * 860 * 4
TEAL = (0, 128, 128)
# Window-relative: on the window's background between the address box and the first button.
FLOOR_POINT = (560, 660)
# Centres of TV弹发射 and 返回机场 in the window's client area.
LAUNCH = (672, 672)
RETURN = (976, 668)


def log(text):
    print("bench: " + text, file=sys.stderr, flush=True)


class Stats:
    def __init__(self, values):
        self.values = sorted(values)

    @property
    def median(self):
        return statistics.median(self.values)

    def show(self, scale=1.0, digits=3):
        if not self.values:
            return "-"
        f = "%.{}f".format(digits)
        return (f + " (" + f + "–" + f + ")") % (self.median * scale, self.values[0] * scale,
                                                  self.values[-1] * scale)


def parse(output):
    values = {}
    for line in output.splitlines():
        key, sep, value = line.partition("=")
        if sep:
            values.setdefault(key, []).append(value)
    return values


class Display:
    """A private Xvfb and a session bus, as a desktop gives its programs."""

    def __init__(self):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1920x1080x24", "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read)
        self.name = ":" + number.decode().strip()
        bus = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1",
                              "--print-pid=1"], capture_output=True, text=True, check=True)
        address, pid = bus.stdout.split()
        self.bus_pid = int(pid)
        self.env = dict(os.environ, DISPLAY=self.name, DBUS_SESSION_BUS_ADDRESS=address,
                        GST_PLUGIN_FEATURE_RANK="fakeaudiosink:512")

    def close(self):
        for pid in (self.bus_pid, self.xvfb.pid):
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        self.xvfb.wait()


def probe(args, env, options, program, timeout=60):
    argv = [args.probe, *options, "--", *program]
    done = subprocess.run(argv, env=env, capture_output=True, text=True, timeout=timeout)
    values = parse(done.stdout)
    if done.returncode != 0:
        raise RuntimeError("%s: %s %s" % (" ".join(program), values.get("error", ["?"])[0],
                                          done.stderr.strip()[-300:]))
    return values


def number(values, key):
    return float(values[key][0])


def splash_points(args):
    done = subprocess.run([args.corebench, "points", os.path.join(ROOT, "resources", "splash.png")],
                          capture_output=True, text=True, check=True)
    return done.stdout.split()


def linux_start(args, display):
    expect = []
    for point in splash_points(args):
        expect += ["--expect", point]
    floor_expect = ["--expect", "%d,%d,%d,%d,%d" % (FLOOR_POINT + TEAL)]
    programs = {
        "quorvel": (expect + ["--settle", str(args.settle_ms)], [args.quorvel]),
        "surf": (["--settle", str(args.settle_ms)], ["surf", "about:blank"]),
        "floor": (floor_expect, [args.floor]),
    }
    results = {name: [] for name in programs}
    # Interleaved, so that the machine's drift reaches all three alike; round 0 warms up.
    for round_ in range(args.runs + 1):
        for name, (options, program) in programs.items():
            values = probe(args, display.env, options, program)
            if round_ > 0:
                results[name].append(values)
        log("linux start-up: round %d of %d" % (round_, args.runs))
    return results


def linux_click(args, display):
    expect = []
    for point in splash_points(args):
        expect += ["--expect", point]
    options = expect + ["--click", "%d,%d" % LAUNCH, "--back", "%d,%d" % RETURN,
                        "--clicks", str(args.clicks + 1), "--port", str(PORT)]
    values = probe(args, display.env, options, [args.quorvel], timeout=300)
    clicks = [float(v) for v in values["click_ms"]]
    return clicks[0], Stats(clicks[1:]), values.get("request", ["?"])[0]


def core(args, mode, *more):
    done = subprocess.run([args.corebench, mode, *more], capture_output=True, text=True,
                          check=True)
    figures, values = {}, {}
    for line in done.stdout.splitlines():
        parts = line.split()
        if parts[0] == "figure":
            figures[parts[1]] = tuple(float(p) for p in parts[2:5])
        elif parts[0] == "value":
            values[parts[1]] = parts[2]
    return figures, values


class Table:
    HEAD = ("figure", "Quorvel", "peer", "floor", "ratio", "target", "met?")

    def __init__(self):
        self.rows = []
        self.notes = []

    def add(self, *row):
        self.rows.append(tuple("-" if c is None else str(c) for c in row))

    def print(self):
        widths = [max(len(r[i]) for r in [self.HEAD, *self.rows]) for i in range(len(self.HEAD))]
        line = lambda r: "| " + " | ".join(c.ljust(w) for c, w in zip(r, widths)) + " |"
        print(line(self.HEAD))
        print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
        for r in self.rows:
            print(line(r))
        for note in self.notes:
            print(note)


def met(ok):
    return "yes" if ok else "NO"


def fig(triple, digits=2):
    return "%.*f (%.*f–%.*f)" % (digits, triple[0], digits, triple[1], digits, triple[2])


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--quorvel", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--floor", required=True)
    parser.add_argument("--corebench", required=True)
    parser.add_argument("--windows", help="a file of Windows figures bench/wine.py wrote")
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--clicks", type=int, default=50)
    parser.add_argument("--settle-ms", type=int, default=1500)
    args = parser.parse_args()
    if args.runs < 1 or args.clicks < 1:
        parser.error("--runs and --clicks must be at least 1")

    table = Table()
    display = Display()
    try:
        log("Linux start-up on display %s, %d runs after a warm-up" % (display.name, args.runs))
        start = linux_start(args, display)
        log("Linux clicks: 1 + %d" % args.clicks)
        first_click, clicks, request = linux_click(args, display)
    finally:
        display.close()

    q = start["quorvel"]
    s = start["surf"]
    f = start["floor"]
    q_paint = Stats([number(v, "painted_ms") / 1e3 for v in q])
    q_map = Stats([number(v, "mapped_ms") / 1e3 for v in q])
    s_map = Stats([number(v, "mapped_ms") / 1e3 for v in s])
    f_paint = Stats([number(v, "painted_ms") / 1e3 for v in f])
    ratio = q_paint.median / s_map.median
    table.add("Linux start-up: exec → splash painted (s)", q_paint.show(), s_map.show() + " mapped",
              f_paint.show(), "%.2f × surf, %.2f × floor" % (ratio, q_paint.median / f_paint.median),
              "≤ 0.9 × surf", met(ratio <= 0.9))
    table.add("Linux start-up: exec → window mapped (s)", q_map.show(), s_map.show(),
              Stats([number(v, "mapped_ms") / 1e3 for v in f]).show(),
              "%.2f × surf" % (q_map.median / s_map.median), None, None)
    procs = max(int(number(v, "procs_at_paint")) for v in q)
    table.add("Linux: processes when the splash shows", procs, None, 1, None,
              "1 (no page process)", met(procs == 1))

    q_rss = Stats([number(v, "rss_kb") / 1024 for v in q])
    s_rss = Stats([number(v, "rss_kb") / 1024 for v in s])
    table.add("Linux memory: process tree RSS after start (MB)", q_rss.show(digits=0),
              s_rss.show(digits=0) + " surf", None, "%.2f" % (q_rss.median / s_rss.median),
              "≤ 0.6 × surf", met(q_rss.median / s_rss.median <= 0.6))
    q_procs = statistics.median(int(number(v, "procs_settled")) for v in q)
    s_procs = statistics.median(int(number(v, "procs_settled")) for v in s)
    table.notes.append("  processes in the tree after %d ms: Quorvel %d, surf %d; PSS: Quorvel %s MB,"
                       " surf %s MB" % (args.settle_ms, q_procs, s_procs,
                                        Stats([number(v, "pss_kb") / 1024 for v in q]).show(digits=0),
                                        Stats([number(v, "pss_kb") / 1024 for v in s]).show(digits=0)))

    log("decoding, in process")
    figures, values = core(args, "decode", os.path.join(ROOT, "resources", "splash.png"))
    ours = figures["decode_ours"]
    same = figures["decode_libpng_same_bytes"]
    defaults = figures["decode_libpng_default_encoding"]
    table.add("Decode + prepare the splash (ms, 50 runs)", fig(ours), fig(same) + " libpng",
              fig(figures["memcpy_pixels"], 3) + " memcpy", "%.2f" % (ours[0] / same[0]),
              "≤ 1.1 × libpng, same bytes", met(ours[0] / same[0] <= 1.1))
    table.add("  against libpng's default encoding (ms)", fig(ours), fig(defaults) + " libpng",
              fig(figures["inflate_idat"]) + " inflate", "%.2f" % (ours[0] / defaults[0]),
              "≤ 0.8 × libpng, default encoding", met(ours[0] / defaults[0] <= 0.8))
    table.notes.append("  splash.png %s bytes (rows by filter: %s); libpng's default encoding of "
                       "the same pixels %s bytes" % (values["splash_file_bytes"],
                                                     values["splash_rows_by_filter"],
                                                     values["default_file_bytes"]))
    buffers = int(values["pixel_buffers_held"])
    held = buffers * int(values["picture_bytes"])
    blocks = max(int(number(v, "picture_blocks")) for v in q)
    table.add("Pixel buffers held for the picture (bytes)",
              "%d in %d buffer(s); %d picture-sized block(s) in the process" % (held, buffers, blocks),
              None, PICTURE_BYTES, None, "one buffer, ≤ %d" % PICTURE_BYTES,
              met(buffers == 1 and held <= PICTURE_BYTES and blocks <= 1))
    table.notes.append("  heap the prepared picture keeps, in process: %s bytes"
                       % values["heap_bytes_held"])

    table.add("Linux click: press → request at the service (ms, %d)" % len(clicks.values), clicks.show(digits=1),
              None, None, None, "< 100 ms", met(clicks.median < 100))
    table.notes.append("  first click (starts the page processes): %.1f ms; request: %s"
                       % (first_click, request))
    figures, _ = core(args, "commands")
    pair = figures["command_pair_us"]
    table.add("Core: LaunchCommand + ReturnCommand, fake platform (µs)", fig(pair, 3), None, None,
              None, "< 10 µs", met(pair[0] < 10))

    if args.windows and os.path.exists(args.windows):
        with open(args.windows) as f:
            for line in f:
                row = line.rstrip("\n").split("\t")
                if row[0] == "note":
                    table.notes.append("  " + row[1])
                else:
                    table.add(*row)
    else:
        table.add("Windows x64 start-up, Wine (s)", "not measured", None, None, None,
                  "≤ 1.5 × floor", "-")
    table.add("Windows x86 start-up, Wine (s)", "not measured: this kernel runs no 32-bit code",
              None, None, None, "≤ 1.5 × floor", "-")
    table.print()


if __name__ == "__main__":
    main()
