"""One Wine session per test run: a private X display, a fresh prefix and a persistent
wineserver, shared by all end-to-end tests through a small state file."""
import json
import os
import shutil
import subprocess
import time

# Virtual desktops the robot can work on, by name.
DESKTOPS = {"QV1920": "1920x1080", "QV1366": "1366x768"}

# What a fresh prefix needs: desktop sizes, a CJK font behind the UI fonts so that the Chinese
# captions are drawn, and no crash dialog that would wait for a user.
REGISTRY = r"""Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
{desktops}

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Tahoma"="Noto Sans CJK SC"
"MS Shell Dlg"="Noto Sans CJK SC"
"MS Shell Dlg 2"="Noto Sans CJK SC"
"Microsoft Sans Serif"="Noto Sans CJK SC"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
"""


class Session:
    def __init__(self, args):
        self.args = args
        self.dir = args.session
        self.state_file = os.path.join(self.dir, "state.json")
        self.prefix = os.path.join(self.dir, "prefix")
        self.state = {}
        if os.path.exists(self.state_file):
            with open(self.state_file) as f:
                self.state = json.load(f)

    def env(self, **extra):
        env = dict(os.environ)
        env.update(
            WINEPREFIX=self.prefix,
            WINEDEBUG="-all",
            # Never offer to install the .NET or HTML engine add-ons.
            WINEDLLOVERRIDES="mscoree,mshtml=",
            WINESERVER=self.args.wineserver,
            DISPLAY=self.state.get("display", ""),
            # One language everywhere: menu keys and the ANSI code page do not depend on the
            # machine's locale.
            LC_ALL="C.UTF-8",
        )
        env.update(extra)
        return env

    def log(self):
        """Wine's own output goes to a file: processes it leaves running (the desktop, services)
        keep their standard handles, and a pipe held by them would never reach its end."""
        return open(os.path.join(self.dir, "wine.log"), "ab")

    def wine(self, *argv, timeout=120, **kw):
        with self.log() as log:
            return subprocess.run([self.args.wine, *argv], env=self.env(), timeout=timeout,
                                  stdin=subprocess.DEVNULL, stdout=log, stderr=log, **kw)

    def start(self):
        self.stop(quiet=True)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        # Xvfb picks a free display and tells us which.
        read, write = os.pipe()
        xvfb = subprocess.Popen(
            [self.args.xvfb, "-displayfd", str(write), "-screen", "0", "1920x1080x24",
             "-nolisten", "tcp"],
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
        self.state = {"display": ":" + number.decode().strip(), "xvfb": xvfb.pid}
        self.save()
        began = time.monotonic()
        os.makedirs(self.prefix)
        with self.log() as log:
            subprocess.run([self.args.wineserver, "-p"], env=self.env(), check=True,
                           stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        reg = os.path.join(self.dir, "session.reg")
        desktops = "\n".join(f'"{n}"="{s}"' for n, s in DESKTOPS.items())
        with open(reg, "w", encoding="utf-16") as f:
            f.write(REGISTRY.format(desktops=desktops).replace("\n", "\r\n"))
        # The loader makes the new prefix itself (wineboot --init) before it runs regedit. An
        # explicit `wineboot -i` would boot it a second time, leaving two service managers
        # that hold every later service start, and with it each navigation, for 3-20 s.
        self.wine("regedit", "/S", windows_path(reg), timeout=300, check=True)
        self.state["prefix_seconds"] = round(time.monotonic() - began, 1)
        self.state["x86"] = self.runs_x86()
        self.save()
        print(f"session: display {self.state['display']}, prefix in "
              f"{self.state['prefix_seconds']} s, x86 programs "
              f"{'run' if self.state['x86'] else 'cannot run here'}")

    def runs_x86(self):
        """Whether 32-bit programs start in this prefix (the kernel may run no 32-bit code)."""
        wow = os.path.join(self.prefix, "drive_c", "windows", "syswow64", "kernel32.dll")
        return os.path.exists(wow)

    def save(self):
        with open(self.state_file, "w") as f:
            json.dump(self.state, f)

    def stop(self, quiet=False):
        if self.state:
            subprocess.run([self.args.wineserver, "-k"], env=self.env(), timeout=60,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            pid = self.state.get("xvfb")
            if pid:
                try:
                    os.kill(pid, 15)
                except ProcessLookupError:
                    pass
            self.state = {}
            if os.path.exists(self.state_file):
                os.remove(self.state_file)
        elif not quiet:
            print("session: nothing to stop")


def windows_path(path):
    """The Windows name of a Unix path, through the Z: drive of every Wine prefix."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")

