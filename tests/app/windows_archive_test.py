#!/usr/bin/env python3
"""The Windows archive, unpacked into an empty folder of a fresh Wine prefix
and run there as a user runs it, on an X server of its own (Xvfb).

    windows_archive_test.py CASE --zip ZIP --hand HAND --scripted-board DLL
                            --recorded-log LOG --recorded-settings FILE --work DIR

CASE is one of: imports, start_and_quit, log_and_wm_close, close_box,
chart, metrics_refused, mqtt_refused. The hand (kvn_wine_hand.exe) works the
windows with Windows' own input and messages.
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import zipfile

PANEL = "korvan PC/104 Environmental Fan Access Panel"
CHART = "StripChart"
BOX = "kvnvb_DazEvo"
# The state file of a first run: Continuous Scan off, a record every 10 ticks.
FRESH_STATE = b" 0 \r\n10\r\n"
# The panel's layout: its client area is the 18-pixel menu bar above the
# 571 x 185 form; the PC/104 Interface frame lies at (432, 8) in the form and
# its Quit button (brdQuitKey) at (80, 72) in the frame, 49 x 25; the Analog
# Information frame at (144, 8) and its Graph box (Graph_chk) at (16, 144).
QUIT_BUTTON = (432 + 80 + 24, 8 + 72 + 12)
GRAPH_BOX = (144 + 16 + 6, 8 + 144 + 8)
# The chart's layout: the plot (Graph_pic) at (48, 40), 377 x 225; the
# Change Settings frame (Frame3) at (440, 304) and its Save (setsave_cmd) at
# (64, 40) in it.
PLOT = (48, 40, 377, 225)
SETTINGS_SAVE = (440 + 64 + 20, 304 + 40 + 10)


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Wine:
    """A fresh Wine prefix with an X server of its own, and the archive
    unpacked into an empty folder of its drive C."""

    def __init__(self, args, case):
        self.args = args
        self.root = os.path.join(os.path.abspath(args.work), case)
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        self.prefix = os.path.join(self.root, "prefix")
        self.xvfb = None
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEARCH="win64",
                        WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                        LC_ALL="C.UTF-8")
        self.env.pop("WAYLAND_DISPLAY", None)
        self.wine = shutil.which("wine64") or "/usr/lib/wine/wine64"
        server = os.path.join(os.path.dirname(os.path.realpath(self.wine)), "wineserver64")
        self.wineserver = server if os.path.exists(server) else "wineserver"
        self.programs = []

    def __enter__(self):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=[write], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        check(number, "Xvfb did not start")
        self.env["DISPLAY"] = ":" + number
        subprocess.run([self.wine, "wineboot", "--init"], env=self.env, check=False,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=180)
        # The prefix's registry is written when its Wine server ends.
        subprocess.run([self.wineserver, "-w"], env=self.env, check=False, timeout=180)
        check(os.path.exists(os.path.join(self.prefix, "system.reg")), "no Wine prefix was made")
        # One Wine server for the case, with Wine's background programs and
        # its desktop started before the program: started beside it, they
        # can hold up the first programs for minutes.
        subprocess.run([self.wineserver, "-p"], env=self.env, check=True, timeout=60)
        for warm_up in (["wineboot"], ["rundll32.exe", "user32.dll,GetDesktopWindow"]):
            subprocess.run([self.wine, *warm_up], env=self.env, check=False, timeout=180,
                           stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        self.folder = os.path.join(self.prefix, "drive_c", "kvnvb")
        os.makedirs(self.folder)
        with zipfile.ZipFile(self.args.zip) as archive:
            archive.extractall(self.folder)
        tops = os.listdir(self.folder)
        check(len(tops) == 1, "the archive holds one folder: %s" % tops)
        self.bin = os.path.join(self.folder, tops[0])
        return self

    def __exit__(self, *_):
        for p in self.programs:
            if p.poll() is None:
                p.kill()
        subprocess.run([self.wineserver, "-k"], env=self.env, check=False,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait()

    def start(self, *args):
        p = subprocess.Popen([self.wine, os.path.join(self.bin, "kvnvb_DazEvo.exe"), *args],
                             cwd=self.bin, env=self.env, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.programs.append(p)
        return p

    def hand(self, *args, timeout=60):
        r = subprocess.run([self.wine, self.args.hand, *map(str, args)], env=self.env,
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
        return r.returncode, (r.stdout + r.stderr).decode(errors="replace").strip()

    def wait_window(self, title, seconds=60):
        code, _ = self.hand("wait", title, seconds, timeout=seconds + 30)
        check(code == 0, "no window titled %r: shown are %s" % (title, self.hand("list")[1]))

    def finish(self, p, seconds=30):
        try:
            out, err = p.communicate(timeout=seconds)
        except subprocess.TimeoutExpired:
            p.kill()
            out, err = p.communicate()
            raise Failure("the program did not end within %d s: %s" % (seconds, err.decode(errors="replace")))
        return p.returncode, err.decode(errors="replace")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def wait_for(predicate, seconds, what):
    end = time.monotonic() + seconds
    while not predicate():
        check(time.monotonic() < end, "waited %d s for %s" % (seconds, what))
        time.sleep(0.2)


def masked_log(log, lines):
    """The log's first lines with its dates, times and path masked, as the
    recorded log of the Linux build holds them."""
    out = b""
    for line in log.split(b"\n")[:lines]:
        line = re.sub(rb"\d\d-\d\d-\d{4}", b"<date>", line)
        line = re.sub(rb"\d\d:\d\d:\d\d", b"<time>", line)
        if line.startswith(b"Log File: "):
            line = b"Log File: <path>\r"
        out += line + b"\n"
    return out


def case_imports(args):
    """Every DLL the archive's programs and libraries import is in the
    archive or in Windows itself (a fresh prefix's system folder)."""
    with Wine(args, "imports") as w:
        system = {n.lower() for n in os.listdir(os.path.join(w.prefix, "drive_c", "windows", "system32"))}
        shipped = set()
        binaries = []
        for folder, _, files in os.walk(w.bin):
            for name in files:
                if name.lower().endswith((".dll", ".exe")):
                    shipped.add(name.lower())
                    binaries.append(os.path.join(folder, name))
        for needed in ("kvnvb_dazevo.exe", "kvnapp_dazevo.dll", "qt6core.dll", "qt6gui.dll",
                       "qt6widgets.dll", "qwindows.dll", "libstdc++-6.dll"):
            check(needed in shipped, "the archive holds %s" % needed)
        check(os.path.exists(os.path.join(w.bin, "platforms", "qwindows.dll")),
              "the platform plugin is in platforms\\")
        for text in ("README.md", "LICENSE", "THIRD-PARTY.txt",
                     os.path.join("licenses", "qt", "LGPL-3.0-only.txt")):
            check(os.path.exists(os.path.join(w.bin, text)), "the archive holds %s" % text)
        objdump = shutil.which("x86_64-w64-mingw32-objdump")
        check(objdump, "x86_64-w64-mingw32-objdump is missing")
        missing = []
        for binary in binaries:
            dump = subprocess.run([objdump, "-p", binary], capture_output=True, check=True).stdout
            for name in re.findall(rb"DLL Name: (\S+)", dump):
                name = name.decode().lower()
                # API sets (api-ms-win-*) are names the system's loader maps
                # to its own DLLs; they need no file.
                if name.startswith(("api-ms-win-", "ext-ms-win-")):
                    continue
                if name not in shipped and name not in system:
                    missing.append("%s needs %s" % (os.path.basename(binary), name))
        check(not missing, "DLLs neither shipped nor in Windows: %s" % ", ".join(missing))


def client_size(w, title):
    code, out = w.hand("size", title)
    check(code == 0 and len(out.split()) == 2, "no size of %r: %s" % (title, out))
    width, height = map(int, out.split())
    return width, height


def click_in_form(w, point):
    """A click at a point of the panel's form, below its menu bar."""
    _, height = client_size(w, PANEL)
    menu = height - 185
    check(menu > 0, "the panel's client area is %d high" % height)
    code, out = w.hand("click", PANEL, point[0], point[1] + menu)
    check(code == 0, "click: %s" % out)


def case_start_and_quit(args):
    """A first start on the simulated board: its boxes, the panel, and its
    Quit button, which writes the state file."""
    with Wine(args, "start_and_quit") as w:
        p = w.start()
        # Two boxes, each answered as by its one button: the report that the
        # maker's support files are not there to install, then the status.
        boxes = 0
        end = time.monotonic() + 90
        while w.hand("wait", PANEL, 0)[0] != 0:
            check(time.monotonic() < end, "no panel after %d boxes: shown are %s" % (boxes, w.hand("list")[1]))
            if w.hand("wait", BOX, 1)[0] == 0 and w.hand("close", BOX)[0] == 0:
                boxes += 1
                time.sleep(1)
        check(boxes == 2, "two boxes before the panel, not %d" % boxes)
        time.sleep(1)
        click_in_form(w, QUIT_BUTTON)
        status, err = w.finish(p)
        check(status == 0, "Quit ends with status 0, not %d: %s" % (status, err))
        state = os.path.join(w.bin, "kvnvb_DazEvo.set")
        check(os.path.exists(state), "Quit writes kvnvb_DazEvo.set")
        check(read(state) == FRESH_STATE, "the state file is %r" % read(state))


def log_then_close(w, records, how):
    """Runs the program with /L until its log holds the records, closes the
    panel the hand's way ("close": WM_CLOSE; "close-box": SC_CLOSE), and
    gives the log once the program has ended with status 0."""
    log = os.path.join(w.bin, "kvnvb_DazEvo.Log")
    p = w.start("/L")
    wait_for(lambda: os.path.exists(log) and read(log).count(b" > ") >= records, 60,
             "%d records" % records)
    w.wait_window(PANEL)
    code, out = w.hand(how, PANEL)
    check(code == 0, out)
    status, err = w.finish(p)
    check(status == 0, "%s ends with status 0, not %d: %s" % (how, status, err))
    return read(log)


def case_log_and_wm_close(args):
    """/L on the scripted board: the log's bytes are those of the Linux build;
    WM_CLOSE to the panel ends it with Quit."""
    with Wine(args, "log_and_wm_close") as w:
        shutil.copy(args.scripted_board, os.path.join(w.bin, "kvnapp_DazEvo.dll"))
        write(os.path.join(w.bin, "kvnvb_DazEvo.set"), b" 0 \r\n0\r\n")  # a record every tick
        data = log_then_close(w, 8, "close")
        recorded = read(args.recorded_log)
        check(masked_log(data, 11) == recorded,
              "the log differs from the Linux build's:\n%s" % masked_log(data, 11).decode(errors="replace"))
        folder = os.path.basename(w.bin).encode()
        check(data.split(b"\n")[1] == b"Log File: C:\\kvnvb\\" + folder + b"\\kvnvb_DazEvo.Log\r",
              "the log's path is in Windows' own form: %r" % data.split(b"\n")[1])
        lines = data.split(b"\n")
        check(lines[-1] == b"" and all(l.endswith(b"\r") for l in lines[:-1]), "every line ends in CR LF")
        check(b"# Log Closed by Program Exit\r\nLog Closed on " in data, "the log is closed by Quit")
        check(read(os.path.join(w.bin, "kvnvb_DazEvo.set")) == b" 0 \r\n0\r\n", "Quit writes the state back")


def case_close_box(args):
    """The panel's own close box closes the window alone, as on Linux: the
    log keeps no exit lines and the state file is not written."""
    with Wine(args, "close_box") as w:
        state = os.path.join(w.bin, "kvnvb_DazEvo.set")
        write(state, b" 0 \r\n0\r\n")
        os.utime(state, (1e9, 1e9))
        check(b"Log Closed" not in log_then_close(w, 2, "close-box"), "the close box runs no Quit")
        check(os.stat(state).st_mtime == 1e9, "the close box leaves the state file alone")


def case_chart(args):
    """The Graph box opens the chart, which draws; its settings Save writes
    Settings.txt beside the executable, byte for byte as the Linux build."""
    with Wine(args, "chart") as w:
        p = w.start("/L")
        w.wait_window(PANEL)
        time.sleep(1)
        click_in_form(w, GRAPH_BOX)
        w.wait_window(CHART, 20)
        time.sleep(3)  # a few seconds of the chart's ticks
        code, out = w.hand("colours", CHART, *PLOT)
        check(code == 0, out)
        check(int(out) > 1, "the plot is of %s colour(s)" % out)
        code, out = w.hand("click", CHART, *SETTINGS_SAVE)
        check(code == 0, out)
        settings = os.path.join(w.bin, "Settings.txt")
        wait_for(lambda: os.path.exists(settings) and read(settings).count(b"\r\n") >= 84, 20,
                 "Settings.txt")
        recorded = read(args.recorded_settings)
        check(read(settings) == recorded, "Settings.txt differs from the Linux build's:\n%r" % read(settings))
        code, out = w.hand("close", PANEL)
        check(code == 0, out)
        status, err = w.finish(p)
        check(status == 0, "ends with status 0, not %d: %s" % (status, err))


def refused(args, name, option, expected):
    """An option the Windows build has no part for: a box says so, the program
    ends with the expected status, and an existing log is left as it was."""
    with Wine(args, name) as w:
        log = os.path.join(w.bin, "kvnvb_DazEvo.Log")
        old = b"Log Started on 01-02-2026 at 10:00:00\r\n"
        write(log, old)
        p = w.start("/L", option)
        w.wait_window(BOX)
        code, out = w.hand("close", BOX)
        check(code == 0, out)
        status, err = w.finish(p)
        check(status == expected, "ends with status %d, not %d: %s" % (expected, status, err))
        check(read(log) == old, "the log is left as it was")
        check(not os.path.exists(os.path.join(w.bin, "kvnvb_DazEvo.set")), "nothing was started")


def case_metrics_refused(args):
    """/M: the Windows build has no metrics endpoint (status 3)."""
    refused(args, "metrics_refused", "/M=127.0.0.1:9731", 3)


def case_mqtt_refused(args):
    """/Q: the Windows build has no MQTT publisher (status 4)."""
    refused(args, "mqtt_refused", "/Q=mqtt://127.0.0.1:1883", 4)


CASES = {name[5:]: f for name, f in globals().items() if name.startswith("case_")}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--zip", required=True)
    parser.add_argument("--hand", required=True)
    parser.add_argument("--scripted-board", required=True)
    parser.add_argument("--recorded-log", required=True)
    parser.add_argument("--recorded-settings", required=True)
    parser.add_argument("--work", required=True)
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        CASES[args.case](args)
    except Failure as e:
        print("FAILED: %s" % e, file=sys.stderr)
        return 1
    print("passed: %s" % args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
