"""The Wine test bench: a private Wine prefix, an X server and a wineserver
kept alive for a test run, and a way to run a Windows program in it under
the UI robot (tools/uirobot) and read back what a person would have seen.

Lifecycle (ctest runs these as the fixture's setup and cleanup tests):

    python3 winebench.py start BENCH_DIR
    python3 winebench.py stop BENCH_DIR
    python3 winebench.py run BENCH_DIR WIN64_DIR PROGRAM [ARG...]
    python3 winebench.py tally BENCH_DIR    (the cases run, by width)
    python3 winebench.py probe-i386         (exit 0 when 32-bit x86 runs)

`start` makes BENCH_DIR/prefix on first use (wineboot -i), starts Xvfb at
1024x768x24 on a free display and a persistent wineserver (wineserver -p),
and writes BENCH_DIR/bench.json; `stop` ends both.

Widths. The deliverable is the 32-bit stub. Where this machine runs 32-bit
Windows programs (a kernel that runs i386 code, 32-bit Wine installed, a
WoW64 prefix), the bench's width is 32: `deliverable(name)` is the program
of build/win32, and the registry helpers read and write the 32-bit view,
the one a 32-bit program sees (its HKLM\Software writes land in
Wow6432Node on 64-bit Windows). Elsewhere the width is 64, the win64 build
stands in, and bench.json says why. The robot and the setup probe are
always the win64 builds. Test scripts use:

    bench = Bench.from_environment()   # ORVANE_BENCH_DIR, ORVANE_WIN64_DIR, ORVANE_WIN32_DIR
    result = bench.run(bench.deliverable("orvane_stub.exe"), ["SIZE"], answers=["OK"])
    result.exit_code, result.boxes[0].caption, result.transcript
    result.boxes[0].status_windows[0].lines[0].text   # status windows behind a box
    bench.run(stub, screenshot=("Extracting, 50%", png)).screenshot.text

and the prefix's side: reg_query / reg_add / reg_delete,
set_windows_version, user_temp, wait_for_file, and read_probe_report for
the report of tools/setup_probe. From Linux: server_pid (the wineserver's,
for its counters in /proc) and visible_windows (what the display shows,
through xwininfo). A script ends with run_tests(), which
records its cases and their width for `tally`.

Standard library only.
"""

import dataclasses
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib
from pathlib import Path
from typing import List, Optional

ROBOT_TIMEOUT_EXIT = 124
WINE_ENV = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml="}
WINE32_LOADER = Path("/usr/lib/wine/wine")    # from wine32:i386
WINE64_LOADER = Path("/usr/lib/wine/wine64")  # from wine64


def _i386_exit_program() -> bytes:
    """A static 32-bit x86 Linux program that exits with 42: an ELF header,
    one loadable segment, and mov eax,1; mov ebx,42; int 0x80."""
    code = bytes.fromhex("b801000000bb2a000000cd80")
    base, headers = 0x08048000, 52 + 32
    size = headers + len(code)
    elf = (b"\x7fELF\x01\x01\x01" + bytes(9) +
           struct.pack("<HHIIIIIHHHHHH", 2, 3, 1, base + headers, 52, 0, 0, 52, 32, 1, 0, 0, 0))
    segment = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
    return elf + segment + code


def probe_i386() -> Optional[str]:
    """None when this kernel runs 32-bit x86 programs, else why not."""
    with tempfile.TemporaryDirectory() as scratch:
        program = Path(scratch) / "exit42"
        program.write_bytes(_i386_exit_program())
        program.chmod(0o755)
        try:
            code = subprocess.run([str(program)], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, timeout=10).returncode
        except OSError as error:
            return f"the kernel does not run 32-bit x86 programs ({error.strerror})"
    return None if code == 42 else f"a 32-bit x86 test program ended with {code}, not 42"


def windows_path(path) -> str:
    """The Windows spelling of a Linux path, through Wine's Z: drive."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def quote_argument(arg: str) -> str:
    """Quotes one word of a Windows command line when it holds blanks."""
    return f'"{arg}"' if (not arg or any(c in arg for c in " \t")) else arg


@dataclasses.dataclass
class Rect:
    x: int
    y: int
    width: int
    height: int


@dataclasses.dataclass
class StatusLine:
    window_class: str  # as Windows reports it: "Static" for a STATIC control
    rect: Rect         # relative to the status window's client area
    text: str


@dataclasses.dataclass
class StatusWindow:
    caption: str
    visible: bool
    rect: Rect         # on the screen
    lines: List[StatusLine]


@dataclasses.dataclass
class Box:
    caption: str
    text: str
    icon: str
    buttons: List[str]
    pressed: str
    scripted: bool
    status_windows: List[StatusWindow]  # of the program while the box was up


@dataclasses.dataclass
class Screenshot:
    file: str      # as the robot wrote it (Windows path of its BMP)
    painted: bool  # False: the matching line's text never showed
    text: str      # the matching line's text when the picture was taken


@dataclasses.dataclass
class RunResult:
    exit_code: Optional[int]  # None when the robot reported a timeout
    boxes: List[Box]
    transcript: str
    screenshot: Optional[Screenshot] = None  # None also for "screenshot: none"


def _unescape(text: str) -> str:
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append({"\\": "\\", "r": "\r", "n": "\n", "t": "\t"}.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(text[i])
            i += 1
    return "".join(out)


def bmp_to_png(bmp_path, png_path) -> None:
    """Converts the robot's screenshot (an uncompressed 24-bit BMP) to PNG."""
    data = Path(bmp_path).read_bytes()
    if data[:2] != b"BM":
        raise ValueError(f"{bmp_path} is not a BMP file")
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 24 or compression != 0:
        raise ValueError(f"{bmp_path}: {bits}-bit BMP with compression {compression}, not 24-bit RGB")
    row_size = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        # Positive height: the rows are stored bottom-up.
        start = offset + (abs(height) - 1 - y if height > 0 else y) * row_size
        bgr = data[start:start + width * 3]
        rgb = bytearray(len(bgr))
        rgb[0::3], rgb[1::3], rgb[2::3] = bgr[2::3], bgr[1::3], bgr[0::3]
        rows.append(b"\0" + bytes(rgb))  # filter type 0 (none) per row

    def chunk(kind: bytes, body: bytes) -> bytes:
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0)  # 8-bit RGB
    Path(png_path).write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                               chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) +
                               chunk(b"IEND", b""))


def _without_mark(value: str, mark: str):
    """("OK", False) for "OK (unscripted)" and mark " (unscripted)"; else (value, True)."""
    return (value[: -len(mark)], False) if value.endswith(mark) else (value, True)


def _placed(value: str):
    """Splits "X,Y WxH REST" into a Rect and REST (unescaped)."""
    position, size, rest = (value.split(" ", 2) + [""])[:3]
    x, y = position.split(",")
    width, height = size.split("x")
    return Rect(int(x), int(y), int(width), int(height)), _unescape(rest)


def parse_transcript(transcript: str) -> RunResult:
    """Turns the robot's transcript (format in tools/uirobot/uirobot.cpp) into
    boxes with their status windows, the screenshot and the exit code."""
    boxes: List[Box] = []
    exit_code: Optional[int] = None
    screenshot: Optional[Screenshot] = None
    current = None
    for line in transcript.splitlines():
        key, _, value = line.partition(": ")
        if line.startswith("box "):
            current = {"buttons": [], "status": []}
        elif key == "exit":
            exit_code = int(value)
        elif key == "screenshot" and value != "none":
            file, painted = _without_mark(value, " (unpainted)")
            screenshot = Screenshot(_unescape(file), painted, "")
        elif key == "screenshot text" and screenshot is not None:
            screenshot.text = _unescape(value)
        elif current is None:
            continue
        elif key == "button":
            current["buttons"].append(_unescape(value))
        elif key == "status":
            visibility, _, placed = value.partition(" ")
            rect, caption = _placed(placed)
            current["status"].append(StatusWindow(caption, visibility == "visible", rect, []))
        elif key == "status line":
            class_name, _, placed = value.partition(" ")
            current["status"][-1].lines.append(StatusLine(class_name, *_placed(placed)))
        elif key == "pressed":
            pressed, scripted = _without_mark(value, " (unscripted)")
            boxes.append(Box(current.get("caption", ""), current.get("text", ""),
                             current.get("icon", ""), current["buttons"], _unescape(pressed),
                             scripted, current["status"]))
            current = None
        elif key in ("caption", "text", "icon"):
            current[key] = _unescape(value)
    return RunResult(exit_code, boxes, transcript, screenshot)


class Bench:
    def __init__(self, bench_dir, win64_dir=None, win32_dir=None, width=None):
        self.dir = Path(bench_dir).resolve()
        self.prefix = self.dir / "prefix"
        self.state_file = self.dir / "bench.json"
        self.cases_file = self.dir / "cases.jsonl"
        self.win64_dir = Path(win64_dir).resolve() if win64_dir else None
        self.win32_dir = Path(win32_dir).resolve() if win32_dir else None
        self._width = width

    @classmethod
    def from_environment(cls, width=None) -> "Bench":
        """The bench of the fixture's environment; `width` 64 pins the
        x86_64 build (and the 64-bit registry view) whatever the machine."""
        return cls(os.environ["ORVANE_BENCH_DIR"], os.environ.get("ORVANE_WIN64_DIR"),
                   os.environ.get("ORVANE_WIN32_DIR"), width)

    def _state(self) -> dict:
        return json.loads(self.state_file.read_text()) if self.state_file.exists() else {}

    def without_32_bit(self) -> Optional[str]:
        """Why the bench cannot run 32-bit programs, or None when it can."""
        return self._state().get("without_32_bit", "the bench is not running")

    @property
    def width(self) -> int:
        """32 or 64: the width of the deliverable under test."""
        if self._width is None:
            self._width = 64 if self.without_32_bit() else 32
        return self._width

    def _program(self, directory, preset: str, name: str) -> Path:
        path = directory / name
        if not path.is_file():
            raise FileNotFoundError(f"{path} is missing: build the {preset} preset first")
        return path

    def win64(self, name: str) -> Path:
        """A program of the win64 build; fails clearly when it was not built."""
        return self._program(self.win64_dir, "win64", name)

    def deliverable(self, name: str) -> Path:
        """A program of the build of the bench's width: build/win32 where
        32-bit programs run, else build/win64."""
        if self.width == 64:
            return self.win64(name)
        return self._program(self.win32_dir, "win32", name)

    def drive_c(self) -> Path:
        return self.prefix / "drive_c"

    def environment(self) -> dict:
        env = dict(os.environ, WINEPREFIX=str(self.prefix), **WINE_ENV)
        if self.state_file.exists():
            env["DISPLAY"] = json.loads(self.state_file.read_text())["display"]
        return env

    # -- lifecycle -------------------------------------------------------

    def start(self) -> None:
        if self.state_file.exists():
            self.stop()
        without_32_bit = probe_i386()
        if without_32_bit is None and not WINE32_LOADER.exists():
            without_32_bit = "32-bit Wine (wine32:i386) is not installed"
        # A prefix made while only 64-bit Wine was installed cannot run
        # 32-bit programs afterwards ("could not load kernel32.dll"): such a
        # prefix is made anew.
        if (without_32_bit is None and (self.prefix / "system.reg").exists()
                and not (self.drive_c() / "windows" / "syswow64").is_dir()):
            shutil.rmtree(self.prefix)
        self.prefix.mkdir(parents=True, exist_ok=True)
        self.cases_file.unlink(missing_ok=True)
        display, xvfb_pid = self._start_xvfb()
        state = {"display": display, "xvfb_pid": xvfb_pid}
        self.state_file.write_text(json.dumps(state))
        try:
            env = self.environment()
            log = open(self.dir / "wine.log", "ab")
            # The server comes first, so that wineboot and every later program
            # share it; -p keeps it alive between programs until `stop`.
            subprocess.run(["wineserver", "-p"], env=env, stdin=subprocess.DEVNULL,
                           stdout=log, stderr=log, check=True)
            # Makes the prefix on first use; later it only starts Wine's
            # services, so that they run with the log as their output.
            first = not (self.prefix / "system.reg").exists()
            subprocess.run(["wineboot", "-i"] if first else ["wineboot"], env=env,
                           stdin=subprocess.DEVNULL, stdout=log, stderr=log, check=True,
                           timeout=300)
            if without_32_bit is None and not (self.drive_c() / "windows" / "syswow64").is_dir():
                without_32_bit = "the Wine prefix has no 32-bit side (no syswow64)"
            state["without_32_bit"] = without_32_bit
            self.state_file.write_text(json.dumps(state))
            if without_32_bit:
                print(f"winebench: 32-bit programs cannot run here ({without_32_bit}); "
                      "the Wine tests run the x86_64 build instead")
        except BaseException:
            self.stop()
            raise

    def stop(self) -> None:
        if not self.state_file.exists():
            return
        state = json.loads(self.state_file.read_text())
        subprocess.run(["wineserver", "-k"], env=self.environment(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        pid = state["xvfb_pid"]
        try:
            # Only the Xvfb this bench started, not whatever now has its pid.
            if "Xvfb" in Path(f"/proc/{pid}/cmdline").read_text(errors="replace"):
                os.kill(pid, signal.SIGTERM)
        except (FileNotFoundError, ProcessLookupError):
            pass
        self.state_file.unlink()

    def _start_xvfb(self):
        log = open(self.dir / "xvfb.log", "ab")
        for number in range(90, 200):
            if Path(f"/tmp/.X{number}-lock").exists() or Path(f"/tmp/.X11-unix/X{number}").exists():
                continue
            xvfb = subprocess.Popen(
                ["Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
            for _ in range(100):
                if Path(f"/tmp/.X11-unix/X{number}").exists():
                    return f":{number}", xvfb.pid
                if xvfb.poll() is not None:
                    break  # lost a race for this display: try the next
                time.sleep(0.1)
            else:
                xvfb.kill()
        raise RuntimeError("no free X display for Xvfb")

    # -- running programs ------------------------------------------------

    def _wine(self, command, env=None, cwd=None, timeout=120):
        """Runs `command` (a list starting with "wine") in the prefix and
        returns (exit code, stdout, stderr) as text."""
        # Files, not pipes: Wine's helper processes (services, the desktop
        # window) may start with the first program and inherit its output
        # handles; a pipe would then stay open long after the program ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(command, env=dict(self.environment(), **(env or {})), cwd=cwd,
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  timeout=timeout)
            out.seek(0)
            err.seek(0)
            return (done.returncode, out.read().decode("latin-1").replace("\r\n", "\n"),
                    err.read().decode("latin-1"))

    def run(self, program, args=(), answers=(), timeout=30, cwd=None,
            command_line=None, screenshot=None, env=None) -> RunResult:
        """Runs a Windows program (Linux path) with `args` under the robot.

        The program's command line is its Windows path and `args`, each
        quoted when it holds blanks; `command_line` replaces the arguments
        part with text passed exactly as given. `answers` are button texts
        pressed in order, one per message box. `screenshot=(text, png_path)`
        has the robot take a picture of the first visible status window
        whose line begins with `text`, saved as PNG at `png_path`
        (result.screenshot.file). Returns the program's exit code (None on
        timeout), the boxes seen and the screenshot (None when no such
        window showed). `env` adds variables to the program's environment.
        """
        if not self.state_file.exists():
            raise RuntimeError(f"the Wine bench is not running ({self.state_file} missing); "
                               "run the wine_bench_start test or winebench.py start")
        arguments = command_line if command_line is not None else \
            " ".join(quote_argument(a) for a in args)
        command = quote_argument(windows_path(program)) + (" " + arguments if arguments else "")
        robot = ["wine", str(self.win64("uirobot.exe")), "--timeout", str(timeout)]
        for answer in answers:
            robot += ["--answer", answer]
        with tempfile.TemporaryDirectory(dir=self.dir) as scratch:
            bmp = Path(scratch) / "screenshot.bmp"
            if screenshot is not None:
                robot += ["--screenshot", screenshot[0], windows_path(bmp)]
            robot += ["--command-env", "ORVANE_ROBOT_COMMAND", "--"]
            code, transcript, errors = self._wine(robot, dict(env or {}, ORVANE_ROBOT_COMMAND=command),
                                                  cwd, timeout + 60)
            result = parse_transcript(transcript)
            if result.exit_code is None and "timeout" not in transcript.splitlines():
                raise RuntimeError(f"the robot failed (exit {code}): {errors}\n{transcript}")
            if result.screenshot is not None:
                bmp_to_png(bmp, screenshot[1])
                result.screenshot.file = str(screenshot[1])
        return result

    # -- the prefix ------------------------------------------------------

    def _reg(self, args):
        """Runs reg.exe of the bench's width with ARGS, so that it sees the
        registry view a program of that width sees (with 32-bit Wine
        installed, `wine reg` is the 32-bit reg.exe); returns (succeeded,
        output). A failed run whose answer is not reg's own "Unable to find
        ..." (seen now and then in full test runs) is tried again, and
        raised after the third."""
        loader = str(WINE64_LOADER) if self.width == 64 and WINE64_LOADER.exists() else "wine"
        for _ in range(3):
            code, out, err = self._wine([loader, "reg"] + args)
            if code == 0 or "Unable to find" in out + err:
                return code == 0, out
            time.sleep(0.5)
        raise RuntimeError(f"reg {' '.join(args)} failed ({code}): {out}{err}")

    def reg_query(self, key: str, value: str):
        """(type, data) of a registry value, e.g. ("REG_SZ", "C:\\x y\\"), or
        None when the key or value is missing. Data is text as `reg query`
        prints it (REG_DWORD as "0x...")."""
        found, out = self._reg(["query", key, "/v", value])
        # "    NAME    TYPE    DATA": the name is known, so blanks in it
        # or in the data do not confuse the split.
        for line in out.splitlines() if found else ():
            if line.startswith(f"    {value}    REG_"):
                kind, _, data = line[len(value) + 8:].partition("    ")
                return kind, data
        return None

    def reg_add(self, key: str, value: str, kind: str, data: str) -> None:
        """Sets a registry value (`kind` "REG_SZ", "REG_DWORD", ...), making
        the key when needed."""
        if not self._reg(["add", key, "/v", value, "/t", kind, "/d", data, "/f"])[0]:
            raise RuntimeError(f"reg add {key} /v {value} failed")

    def reg_delete(self, key: str, value: Optional[str] = None) -> bool:
        """Deletes a value, or the whole key when `value` is None; False when
        there was nothing to delete."""
        return self._reg(["delete", key] + (["/v", value] if value is not None else []) + ["/f"])[0]

    def lock_registry_key(self, key: str, sddl: str) -> None:
        """Gives the HKLM key `key` (path below HKLM) the access rules `sddl`
        in both registry views, through tools/registry_lock."""
        code, out, err = self._wine(["wine", str(self.win64("registry_lock.exe")), key, sddl])
        if code != 0:
            raise RuntimeError(f"registry_lock {key} failed ({code}): {out}{err}")

    def set_windows_version(self, program_name: str, version: Optional[str]) -> None:
        """Makes Wine tell `program_name` (file name, e.g. "setup.exe") that it
        runs on `version` ("winxp", "win7", "win10", ...) from its next start;
        None goes back to the prefix's default."""
        key = f"HKCU\\Software\\Wine\\AppDefaults\\{program_name}"
        if version is None:
            self.reg_delete(key, "Version")
        else:
            self.reg_add(key, "Version", "REG_SZ", version)

    def user_temp(self) -> Path:
        """The prefix user's Temp directory (drive_c/users/<user>/Temp)."""
        # The user directory is named after the Linux user; rather than
        # guess that name, take the one user directory that has a Temp.
        found = [d / "Temp" for d in (self.drive_c() / "users").iterdir()
                 if d.name != "Public" and (d / "Temp").is_dir()]
        if len(found) != 1:
            raise RuntimeError(f"expected one user Temp directory in the prefix, found {found}")
        return found[0]

    @staticmethod
    def wait_for_file(path, timeout=10.0) -> bool:
        """Waits until `path` exists; False when it did not within `timeout` s."""
        deadline = time.monotonic() + timeout
        while not Path(path).exists():
            if time.monotonic() > deadline:
                return False
            time.sleep(0.05)
        return True

    # -- seen from Linux ---------------------------------------------------

    def server_pid(self) -> Optional[int]:
        """The pid of the prefix's wineserver, None when none runs. A
        wineserver works in /tmp/.wine-UID/server-DEV-INODE, named after its
        prefix's device and inode (hexadecimal)."""
        prefix = self.prefix.stat()
        directory = f"server-{prefix.st_dev:x}-{prefix.st_ino:x}"
        for entry in Path("/proc").iterdir():
            try:
                if entry.name.isdigit() and Path(os.readlink(entry / "cwd")).name == directory:
                    return int(entry.name)
            except OSError:
                continue  # gone meanwhile, or another user's
        return None

    def visible_windows(self):
        """(program, caption) of each window now shown on the bench's display,
        as Wine names them for X (program: the file name, as Wine spells it).
        Wine keeps windows of one pixel that nobody sees (the desktop's,
        "Default IME") and unmaps hidden ones: both are left out."""
        display = self.environment()["DISPLAY"]
        tree = subprocess.run(["xwininfo", "-display", display, "-root", "-tree"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
        shown = set()
        # '     0xa00001 "Installer": ("ours.exe" "ours.exe")  250x75+387+359  +387+359'
        for match in re.finditer(r'^\s*(0x[0-9a-f]+) (?:"(.*)"|\(has no name\)): '
                                 r'\("([^"]*)" "[^"]*"\)\s+(\d+)x(\d+)', tree, re.M):
            window, caption, program, width, height = match.groups()
            if int(width) * int(height) <= 1:
                continue
            state = subprocess.run(["xwininfo", "-display", display, "-id", window],
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
            if "Map State: IsViewable" in state:
                shown.add((program, caption or ""))
        return shown


    # -- the cases run, by width ----------------------------------------

    def record_cases(self, script: str, ran: int, skipped: int) -> None:
        with open(self.cases_file, "a") as f:
            f.write(json.dumps({"script": script, "width": self.width, "ran": ran,
                                "skipped": skipped, "without_32_bit": self.without_32_bit()}) + "\n")

    def tally(self) -> str:
        """What the Wine scripts of the last bench run recorded (the bench
        may be stopped by now), in a line or two."""
        records = ([json.loads(line) for line in self.cases_file.read_text().splitlines()]
                   if self.cases_file.exists() else [])
        ran = {32: 0, 64: 0}
        reason = None
        for record in records:
            ran[record["width"]] += record["ran"]
            reason = reason or record["without_32_bit"]
        lines = [f"Wine end-to-end cases run on the 32-bit deliverable: {ran[32]}; "
                 f"on the x86_64 build: {ran[64]}"]
        if reason:
            lines.append(f"32-bit end-to-end cases skipped: all, {ran[64]} ran on the x86_64 build "
                         f"instead, because {reason}")
        return "\n".join(lines)


def run_tests(width=None) -> None:
    """Runs the calling script's test cases, records how many ran on which
    width (see `tally`), and exits with unittest's verdict."""
    result = unittest.main(verbosity=2, exit=False).result
    Bench.from_environment(width).record_cases(Path(sys.argv[0]).stem,
                                               result.testsRun - len(result.skipped),
                                               len(result.skipped))
    sys.exit(not result.wasSuccessful())


def read_probe_report(directory) -> dict:
    """The report tools/setup_probe leaves beside itself, as a dict
    (program, command, directory, version)."""
    lines = (Path(directory) / "probe-report.txt").read_text(encoding="latin-1").splitlines()
    return dict(line.split("=", 1) for line in lines)


USAGE = """usage: winebench.py start BENCH_DIR
       winebench.py stop BENCH_DIR
       winebench.py run BENCH_DIR WIN64_DIR PROGRAM [ARG...]   (prints the transcript)
       winebench.py tally BENCH_DIR
       winebench.py probe-i386"""


def main(argv) -> int:
    if len(argv) == 3 and argv[1] in ("start", "stop"):
        bench = Bench(argv[2])
        bench.start() if argv[1] == "start" else bench.stop()
        return 0
    if len(argv) == 3 and argv[1] == "tally":
        print(Bench(argv[2]).tally())
        return 0
    if len(argv) == 2 and argv[1] == "probe-i386":
        reason = probe_i386()
        print(reason or "32-bit x86 programs run")
        return 1 if reason else 0
    if len(argv) >= 5 and argv[1] == "run":
        result = Bench(argv[2], argv[3]).run(argv[4], argv[5:])
        print(result.transcript, end="")
        return ROBOT_TIMEOUT_EXIT if result.exit_code is None else result.exit_code
    print(USAGE, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
