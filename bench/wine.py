#!/usr/bin/env python3
"""The Windows figures under Wine: start-up against a minimal Win32 floor, private bytes, clicks.
Writes rows for bench.py's table to --result. Only x86_64 programs, through Wine's own 64-bit
loader: the kernel here runs no 32-bit code, so the x86 build cannot be timed."""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench  # noqa: E402  (the shared helpers)

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver64"
SCREEN = (1920, 1080)
FRAME = (1507, 728)  # the main window's outer size; the program centres it
FLOOR_POINT = (700, 300)

REGISTRY = r"""Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="{w}x{h}"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Tahoma"="Noto Sans CJK SC"
"MS Shell Dlg"="Noto Sans CJK SC"
"MS Shell Dlg 2"="Noto Sans CJK SC"
"Microsoft Sans Serif"="Noto Sans CJK SC"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
"""


def build_helpers(out):
    made = {}
    for name, source, libs in (("floor.exe", "floor_win32.cpp", ["-mwindows"]),
                               ("winhelper.exe", "winhelper_win32.cpp", ["-lpsapi"])):
        target = os.path.join(out, name)
        src = os.path.join(bench.ROOT, "bench", source)
        if not os.path.exists(target) or os.path.getmtime(target) < os.path.getmtime(src):
            subprocess.run(["x86_64-w64-mingw32-g++", "-std=c++20", "-O2", "-static", "-municode",
                            "-Wall", "-Wextra", "-Werror", src, "-o", target, *libs], check=True)
        made[name] = target
    return made


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--out", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--result", required=True)
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--clicks", type=int, default=50)
    args = parser.parse_args()
    args.out = os.path.abspath(args.out)
    out = os.path.join(args.out, "wine")
    os.makedirs(out, exist_ok=True)
    helpers = build_helpers(out)
    prefix = os.path.join(args.out, "wineprefix")
    os.makedirs(prefix, exist_ok=True)  # wineserver starts only in an existing prefix folder

    display = bench.Display()
    env = dict(display.env, WINEPREFIX=prefix, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=", WINESERVER=WINESERVER, LC_ALL="C.UTF-8")
    wine_log = open(os.path.join(out, "wine.log"), "ab")
    hold = None
    rows = []
    try:
        # The prefix is the benchmark's own; made once (about 10-40 s), kept for later runs.
        stamp = os.path.join(prefix, ".bench-ready")
        def fresh_server():
            # A server left running would keep a desktop on a display that is gone, or one
            # started before the prefix's settings were in.
            subprocess.run([WINESERVER, "-k"], env=env, stdout=wine_log, stderr=wine_log)
            subprocess.run([WINESERVER, "-w"], env=env, stdout=wine_log, stderr=wine_log,
                           timeout=60)
            subprocess.run([WINESERVER, "-p"], env=env, check=True, stdout=wine_log,
                           stderr=wine_log)

        fresh_server()
        if not os.path.exists(stamp):
            bench.log("making the Wine prefix %s" % prefix)
            reg = os.path.join(out, "bench.reg")
            with open(reg, "w", encoding="utf-16") as f:
                f.write(REGISTRY.format(w=SCREEN[0], h=SCREEN[1]).replace("\n", "\r\n"))
            # The loader boots the new prefix before regedit runs; booting it again with
            # `wineboot -i` would leave two service managers that stall every navigation.
            subprocess.run([WINE, "regedit", "/S", "Z:" + reg.replace("/", "\\")], env=env,
                           check=True, timeout=300, stdin=subprocess.DEVNULL, stdout=wine_log,
                           stderr=wine_log)
            open(stamp, "w").close()
            fresh_server()
        # Wine's desktop process, kept running for the whole run as a session has it.
        hold = subprocess.Popen([WINE, helpers["winhelper.exe"], "hold"], env=env,
                                stdin=subprocess.DEVNULL, stdout=wine_log, stderr=wine_log)
        time.sleep(2)
        offset = subprocess.run([WINE, helpers["winhelper.exe"], "offset"], env=env,
                                capture_output=True, text=True, check=True).stdout
        dx, dy = (int(v) for v in bench.parse(offset)["offset"][0].split(","))
        client = ((SCREEN[0] - FRAME[0]) // 2 + dx, (SCREEN[1] - FRAME[1]) // 2 + dy)

        expect = []
        for point in bench.splash_points(argparse.Namespace(corebench=os.path.join(
                args.out, "tools", "corebench"))):
            x, y, r, g, b = (int(v) for v in point.split(","))
            expect += ["--expect", "%d,%d,%d,%d,%d" % (x + client[0], y + client[1], r, g, b)]
        memory = lambda name: "%s %s memory %s" % (WINE, helpers["winhelper.exe"], name)
        programs = {
            "quorvel": (["--root", *expect, "--settle", "1000", "--then", memory("quorvel.exe")],
                        [WINE, args.exe]),
            "floor": (["--root", "--expect", "%d,%d,0,128,128" % (client[0] + FLOOR_POINT[0],
                                                                client[1] + FLOOR_POINT[1]),
                       "--settle", "0", "--then", memory("floor.exe")],
                      [WINE, helpers["floor.exe"]]),
        }
        results = {name: [] for name in programs}
        bench.log("Windows x64 start-up under Wine, %d runs after a warm-up" % args.runs)
        for round_ in range(args.runs + 1):
            for name, (options, program) in programs.items():
                values = bench.probe(argparse.Namespace(probe=args.probe), env, options, program)
                if round_ > 0:
                    results[name].append(values)
        q, f = results["quorvel"], results["floor"]
        q_paint = bench.Stats([bench.number(v, "painted_ms") / 1e3 for v in q])
        f_paint = bench.Stats([bench.number(v, "painted_ms") / 1e3 for v in f])
        ratio = q_paint.median / f_paint.median
        rows.append(["Windows x64 start-up, Wine: exec → splash painted (s)", q_paint.show(), "-",
                     f_paint.show(), "%.2f" % ratio, "≤ 1.5 × floor", bench.met(ratio <= 1.5)])
        q_priv = bench.Stats([bench.number(v, "committed_private_kb") / 1024 for v in q])
        f_priv = bench.Stats([bench.number(v, "committed_private_kb") / 1024 for v in f])
        rows.append(["Windows x64 memory: private bytes after start (MB)", q_priv.show(digits=1),
                     "-", f_priv.show(digits=1), "%.2f" % (q_priv.median / f_priv.median), "-",
                     "-"])
        rows.append(["note", "Wine reports no PrivateUsage for other processes: private bytes are"
                     " the committed private regions (VirtualQueryEx); working set: Quorvel %s MB,"
                     " floor %s MB" % (
                         bench.Stats([bench.number(v, "working_set_kb") / 1024 for v in q]).show(digits=0),
                         bench.Stats([bench.number(v, "working_set_kb") / 1024 for v in f]).show(digits=0))])

        bench.log("Windows clicks: 1 + %d" % args.clicks)
        click = ["--root", *expect, "--click", "%d,%d" % (client[0] + bench.LAUNCH[0],
                                                           client[1] + bench.LAUNCH[1]),
                 "--back", "%d,%d" % (client[0] + bench.RETURN[0], client[1] + bench.RETURN[1]),
                 "--clicks", str(args.clicks + 1), "--port", str(bench.PORT)]
        values = bench.probe(argparse.Namespace(probe=args.probe), env, click, [WINE, args.exe],
                             timeout=300)
        clicks = [float(v) for v in values["click_ms"]]
        stats = bench.Stats(clicks[1:])
        rows.append(["Windows x64 click: press → request at the service (ms, %d)" % len(stats.values),
                     stats.show(digits=1), "-", "-", "-", "< 100 ms",
                     bench.met(stats.median < 100)])
        rows.append(["note", "Windows first click: %.1f ms; request: %s"
                     % (clicks[0], values.get("request", ["?"])[0])])
    finally:
        if hold is not None:
            hold.send_signal(signal.SIGTERM)
        subprocess.run([WINESERVER, "-k"], env=env, stdout=wine_log, stderr=wine_log)
        display.close()
    with open(args.result, "w") as f:
        for row in rows:
            f.write("\t".join(row) + "\n")


if __name__ == "__main__":
    main()
