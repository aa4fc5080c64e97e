#!/usr/bin/env python3
"""Judges one check of the 32-bit smoke run (scripts/smoke32) from the files that its
run left in a directory:

    status.txt   exit status of the host program (124: time-out)
    stdout.txt   its "key=value" lines
    stderr.txt   Wine's messages
    log.txt      the library's diagnostic log, and whatever else the check writes

Usage: smoke32_check.py CHECK DIR
Prints one line per finding that is wrong; exits 0 when all is right, 1 otherwise.

A new check is a function check_NAME(run) here and a function run_NAME in
scripts/smoke32 that prepares DIR and runs the programs.
"""
import pathlib
import re
import sys


class Run:
    """The files of one run and the findings about them."""

    def __init__(self, directory):
        self.dir = pathlib.Path(directory)
        self.errors = []
        self.values = {}
        for line in self.text("stdout.txt").splitlines():
            key, sep, value = line.rstrip("\r").partition("=")
            if sep and key not in self.values:
                self.values[key] = value

    def bytes(self, name):
        path = self.dir / name
        return path.read_bytes() if path.is_file() else None

    def text(self, name):
        data = self.bytes(name)
        return "" if data is None else data.decode("latin-1")

    def fail(self, message):
        self.errors.append(message)
        return False

    def expect(self, condition, message):
        return True if condition else self.fail(message)

    def value(self, key):
        """The value printed for KEY, or None (which is a finding)."""
        if key not in self.values:
            self.fail(f"the host printed no {key}=")
            return None
        return self.values[key]

    def expect_status(self, wanted=0):
        status = self.text("status.txt").strip()
        if status == "124":
            return self.fail("the host did not end in time (time-out)")
        return self.expect(status == str(wanted), f"host exit status {status or '?'}, wanted {wanted}")

    def expect_value(self, key, wanted):
        got = self.value(key)
        return got is not None and self.expect(got == wanted, f"{key}={got}, wanted {wanted}")

    def expect_match(self, key, pattern, flags=0):
        got = self.value(key)
        return got is not None and self.expect(
            re.fullmatch(pattern, got, flags) is not None, f"{key}={got}, wanted /{pattern}/")

    def log_lines(self):
        """log.txt split after each LF, each line still ending in its CR LF; None if absent."""
        data = self.bytes("log.txt")
        if data is None:
            self.fail("no log.txt")
            return None
        return data.splitlines(keepends=True)


def check_create9(run):
    """host.exe create9 with log=1: our d3d9.dll is loaded, forwards Direct3DCreate9 to
    Wine's own d3d9.dll, and logs its start."""
    run.expect_status(0)
    run.expect_value("started", "1")
    run.expect_value("done", "1")
    # The d3d9.dll that the host loaded is the one beside it (d3d9=n,b works).
    proxy, cwd = run.value("proxy"), run.value("cwd")
    if proxy is not None and cwd is not None:
        run.expect(proxy.lower() == (cwd.rstrip("\\") + "\\d3d9.dll").lower(),
                   f"proxy={proxy}, wanted the d3d9.dll in {cwd}")
    run.expect_match("d3d0", r"0*[1-9A-Fa-f][0-9A-Fa-f]*")
    # The interface comes from the system's d3d9.dll, reached through ours.
    run.expect_match("d3d0_module", r"C:\\windows\\(?:[^\\]+\\)*d3d9\.dll", re.IGNORECASE)
    lines = run.log_lines()
    if lines is not None:
        first = lines[0] if lines else b""
        run.expect(re.fullmatch(rb"[0-9]+: log on \.\\d3d9\.cpp 43 \r\n", first) is not None,
                   f"log.txt starts with {first!r}, wanted b'N: log on .\\\\d3d9.cpp 43 \\r\\n'")


def values(run, key):
    """Every value printed for KEY, in order."""
    found = []
    for line in run.text("stdout.txt").splitlines():
        k, sep, v = line.rstrip("\r").partition("=")
        if sep and k == key:
            found.append(v)
    return found


def check_frames(run):
    """Device, plugin menu, four filtered frames and GetClientRect on the 32-bit DLL."""
    run.expect_status(0)
    run.expect_value("done", "1")
    run.expect_value("device_hr", "0x00000000")
    run.expect_value("bbformat", "23")       # forced in the host's own record
    run.expect_value("rt_format", "23")      # and the device has it
    run.expect_value("client", "0,0,96,72")  # the host's GetClientRect import, replaced

    # The popup: "None", then the two plugins, the check mark first on default_filter's,
    # then on the one chosen from the menu.
    items = values(run, "item")
    run.expect(len(items) == 6, f"menu items {items}, wanted 3 before and 3 after the choice")
    if len(items) == 6:
        before, after = items[:3], items[3:]
        run.expect(before[0] == "50000:None:0" and after[0] == "50000:None:0", f"None item: {items}")
        for group, checked in ((before, "Test s2"), (after, "Test s3")):
            names = sorted(i.split(":")[1] for i in group[1:])
            run.expect(names == ["Test s2", "Test s3"], f"plugin items {group}")
            for item in group[1:]:
                _, name, mark = item.split(":")
                run.expect(mark == ("1" if name == checked else "0"), f"check mark: {group}, wanted on {checked}")
        s3 = [i.split(":")[0] for i in before if i.split(":")[1] == "Test s3"]
        run.expect_value("chose", s3[0] if s3 else "?")
    run.expect(values(run, "popups") == ["1", "1"], f"popups={values(run, 'popups')}, wanted one")

    # Pixel for pixel: twice at s = 2, then twice at s = 3.
    verdicts = values(run, "verify")
    run.expect(verdicts == ["ok"] * 4, f"frames: {verdicts}")

    lines = run.log_lines()
    if lines is None:
        return
    text = b"".join(lines).decode("latin-1")
    run.expect(re.match(r"[0-9]+: log on \.\\d3d9\.cpp 43 \r\n", text) is not None,
               f"log.txt starts with {lines[0]!r}")
    for pattern in (
        r"[0-9]+: WindowResizeAddWidth = -?[0-9]+ \.\\d3d9\.cpp 59 \r\n",
        r"[0-9]+: pImportDesc = user32 found! \.\\d3d9\.cpp 77 \r\n",
        r"[0-9]+: GetClientRect hook! \.\\d3d9\.cpp 93 \r\n",
        r"[0-9]+: SetWindowPos hook! \.\\d3d9\.cpp 103 \r\n",
        r"[0-9]+: Direct3DCreate9 \.\\functions\.cpp 140 \r\n",
        r"path = C:\\windows\\system32\\d3d9\.dll\r\n",
        r"[0-9]+: Direct3DCreate9 success \.\\functions\.cpp 147 \r\n",
        r"[0-9]+: CreateDevice success \.\\functions\.cpp 241 \r\n",
        r"[0-9]+: CreatePluginsMenu \.\\menu\.cpp 145 \r\n",
        r"Init dwItemData = [0-9]+ Plugin name = Test s2\r\n",
        r"[0-9]+: SetWindowLongPtr success \.\\menu\.cpp 214 \r\n",
        r"Width = 96\r\nHeight = 72\r\nFormat = 23\r\n",
        r"[0-9]+: VirtualProtect PAGE_READWRITE success \.\\Hook\.cpp 107 \r\n",
        r"[0-9]+: 50000<=LOWORD\(wParam\) \.\\menu\.cpp 83 \r\n",
        r"[0-9]+: GetClientRectNew \.\\functions\.cpp 92 \r\n",
    ):
        run.expect(re.search(pattern, text, re.IGNORECASE) is not None, f"log.txt lacks /{pattern}/")
    run.expect(text.count("RendOutput success .\\functions.cpp 380 \r\n") == 4,
               "log.txt should show four RendOutput success lines")
    run.expect(text.count("UpdateSurface success .\\functions.cpp 385 \r\n") == 4,
               "log.txt should show four UpdateSurface success lines")



def check_nobar(run):
    """A window without a menu bar on the 32-bit DLL: filtered frame, system-menu popup."""
    run.expect_status(0)
    run.expect_value("done", "1")
    run.expect_value("rt_format", "23")
    run.expect_value("syspopups", "1")
    items = values(run, "sysitem")
    run.expect(len(items) == 3, f"system-menu items {items}, wanted None and two plugins")
    if len(items) == 3:
        run.expect(items[0] == "50000:None:0", f"None item: {items}")
        ids = sorted(i.split(":")[0] for i in items[1:])
        run.expect(ids == ["50016", "50032"], f"identifiers {ids}: low four bits clear")
        marks = {i.split(":")[1]: i.split(":")[2] for i in items[1:]}
        run.expect(marks == {"Test s2": "1", "Test s3": "0"}, f"check marks {items}")
        s3 = [i.split(":")[0] for i in items if i.split(":")[1] == "Test s3"]
        run.expect_value("syschose", s3[0] if s3 else "?")
    run.expect_value("host_syscmd", "none")
    verdicts = values(run, "verify")
    run.expect(verdicts == ["ok"] * 2, f"frames: {verdicts}")

def main(argv):
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[0], file=sys.stderr)
        print("usage: smoke32_check.py CHECK DIR", file=sys.stderr)
        return 2
    check = globals().get("check_" + argv[1])
    if check is None:
        print(f"no check named {argv[1]}", file=sys.stderr)
        return 2
    run = Run(argv[2])
    check(run)
    for error in run.errors:
        print(f"  {argv[1]}: {error}")
    if run.errors:
        # Enough of the run's output to see what happened.
        for name in ("stdout.txt", "stderr.txt", "log.txt"):
            text = run.text(name).splitlines()
            if text:
                print(f"  --- {name} (first lines)")
                for line in text[:15]:
                    print("  " + line.rstrip("\r"))
    return 1 if run.errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
