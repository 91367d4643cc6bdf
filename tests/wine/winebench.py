"""The Wine test bench: a private Wine prefix, an X server and a wineserver
kept alive for a test run, and a way to run a Windows program in it under
the UI robot (tools/uirobot) and read back what a person would have seen.

Lifecycle (ctest runs these as the fixture's setup and cleanup tests):

    python3 winebench.py start BENCH_DIR
    python3 winebench.py stop BENCH_DIR
    python3 winebench.py run BENCH_DIR WIN64_DIR PROGRAM [ARG...]

`start` makes BENCH_DIR/prefix on first use (wineboot -i), starts Xvfb at
1024x768x24 on a free display and a persistent wineserver (wineserver -p),
and writes BENCH_DIR/bench.json; `stop` ends both. Test scripts use:

    bench = Bench.from_environment()   # ORVANE_BENCH_DIR, ORVANE_WIN64_DIR
    result = bench.run(bench.win64("orvane_stub.exe"), ["SIZE"], answers=["OK"])
    result.exit_code, result.boxes[0].caption, result.transcript

Standard library only.
"""

import dataclasses
import json
import os
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import List, Optional

ROBOT_TIMEOUT_EXIT = 124
WINE_ENV = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml="}


def windows_path(path) -> str:
    """The Windows spelling of a Linux path, through Wine's Z: drive."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def quote_argument(arg: str) -> str:
    """Quotes one word of a Windows command line when it holds blanks."""
    return f'"{arg}"' if (not arg or any(c in arg for c in " \t")) else arg


@dataclasses.dataclass
class Box:
    caption: str
    text: str
    icon: str
    buttons: List[str]
    pressed: str
    scripted: bool


@dataclasses.dataclass
class RunResult:
    exit_code: Optional[int]  # None when the robot reported a timeout
    boxes: List[Box]
    transcript: str


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


def parse_transcript(transcript: str) -> RunResult:
    """Turns the robot's transcript (format in tools/uirobot/uirobot.cpp) into boxes."""
    boxes: List[Box] = []
    exit_code: Optional[int] = None
    current = None
    for line in transcript.splitlines():
        key, _, value = line.partition(": ")
        if line.startswith("box "):
            current = {"buttons": []}
        elif key == "exit":
            exit_code = int(value)
        elif current is not None and key in ("caption", "text", "icon", "button", "pressed"):
            if key == "button":
                current["buttons"].append(_unescape(value))
            elif key == "pressed":
                scripted = not value.endswith(" (unscripted)")
                pressed = value if scripted else value[: -len(" (unscripted)")]
                boxes.append(Box(current.get("caption", ""), current.get("text", ""),
                                 current.get("icon", ""), current["buttons"],
                                 _unescape(pressed), scripted))
                current = None
            else:
                current[key] = _unescape(value)
    return RunResult(exit_code, boxes, transcript)


class Bench:
    def __init__(self, bench_dir, win64_dir=None):
        self.dir = Path(bench_dir).resolve()
        self.prefix = self.dir / "prefix"
        self.state_file = self.dir / "bench.json"
        self.win64_dir = Path(win64_dir).resolve() if win64_dir else None

    @classmethod
    def from_environment(cls) -> "Bench":
        return cls(os.environ["ORVANE_BENCH_DIR"], os.environ.get("ORVANE_WIN64_DIR"))

    def win64(self, name: str) -> Path:
        """A program of the win64 build; fails clearly when it was not built."""
        path = self.win64_dir / name
        if not path.is_file():
            raise FileNotFoundError(f"{path} is missing: build the win64 preset first")
        return path

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
        self.prefix.mkdir(parents=True, exist_ok=True)
        display, xvfb_pid = self._start_xvfb()
        self.state_file.write_text(json.dumps({"display": display, "xvfb_pid": xvfb_pid}))
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

    def run(self, program, args=(), answers=(), timeout=30, cwd=None,
            command_line=None) -> RunResult:
        """Runs a Windows program (Linux path) with `args` under the robot.

        The program's command line is its Windows path and `args`, each
        quoted when it holds blanks; `command_line` replaces the arguments
        part with text passed exactly as given. `answers` are button texts
        pressed in order, one per message box. Returns the program's exit
        code (None on timeout) and the boxes seen.
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
        robot += ["--command-env", "ORVANE_ROBOT_COMMAND", "--"]
        env = dict(self.environment(), ORVANE_ROBOT_COMMAND=command)
        # Files, not pipes: Wine's helper processes (services, the desktop
        # window) may start with the first program and inherit its output
        # handles; a pipe would then stay open long after the robot ended.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            done = subprocess.run(robot, env=env, cwd=cwd, stdin=subprocess.DEVNULL,
                                  stdout=out, stderr=err, timeout=timeout + 60)
            out.seek(0)
            err.seek(0)
            transcript = out.read().decode("latin-1").replace("\r\n", "\n")
            errors = err.read().decode("latin-1")
        result = parse_transcript(transcript)
        if result.exit_code is None and "timeout" not in transcript.splitlines():
            raise RuntimeError(f"the robot failed (exit {done.returncode}): {errors}\n{transcript}")
        return result


USAGE = """usage: winebench.py start BENCH_DIR
       winebench.py stop BENCH_DIR
       winebench.py run BENCH_DIR WIN64_DIR PROGRAM [ARG...]   (prints the transcript)"""


def main(argv) -> int:
    if len(argv) == 3 and argv[1] in ("start", "stop"):
        bench = Bench(argv[2])
        bench.start() if argv[1] == "start" else bench.stop()
        return 0
    if len(argv) >= 5 and argv[1] == "run":
        result = Bench(argv[2], argv[3]).run(argv[4], argv[5:])
        print(result.transcript, end="")
        return ROBOT_TIMEOUT_EXIT if result.exit_code is None else result.exit_code
    print(USAGE, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
