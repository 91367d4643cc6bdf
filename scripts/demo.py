"""The main job's demo: a finished installer made from the sample payload in
scripts/demo/payload and run under the Wine bench as a user would run it.

    python3 scripts/demo.py BENCH_DIR

Lays out the payload folder (the sample files, a generated catalogue large
enough to watch the extraction, and the setup probe as SETUP.EXE), packs it
into build/demo/orvane_demo.exe with one `mkinstaller --from` from the
deliverable, the win32 stub (the win64 one only where 32-bit programs cannot
run, and it says so), prints what `mkinstaller --inspect` says of it, runs
it under the UI robot, and prints what happened: the boxes shown, the files
in the working directory, the registry entries written (in the registry view
of the stub's width), the setup program's own report, and where the
screenshot of the extraction window was saved. Expects the win32, win64 and
host builds and a running bench.
"""

import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "wine"))
from winebench import Bench, read_probe_report  # noqa: E402

BUILD = ROOT / "build"
DEMO = BUILD / "demo"
INSTALLER = DEMO / "orvane_demo.exe"
SCREENSHOT = DEMO / "extraction-window.png"
WINDOWS_KEY = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion"


def catalogue() -> bytes:
    """About 6 MB of numbered lines: enough work for the extraction window
    to be seen counting, and it compresses to little."""
    return b"".join(b"item %07d: part %05d in bin %03d\r\n" % (n, n * 7919 % 100003, n % 997)
                    for n in range(160000))


def make_payload() -> Path:
    folder = DEMO / "payload"
    shutil.copytree(ROOT / "scripts" / "demo" / "payload", folder)
    (folder / "data" / "CATALOG.TXT").write_bytes(catalogue())
    shutil.copy(BUILD / "win64" / "setup_probe.exe", folder / "SETUP.EXE")
    return folder


def main(argv) -> int:
    if len(argv) != 2:
        sys.exit(__doc__)
    bench = Bench(argv[1], BUILD / "win64", BUILD / "win32")
    if bench.width == 64:
        print(f"the x86_64 stub stands in for the deliverable: {bench.without_32_bit()}")
    stub = bench.deliverable("orvane_stub.exe")
    shutil.rmtree(DEMO, ignore_errors=True)
    DEMO.mkdir(parents=True)
    mkinstaller = str(BUILD / "host" / "mkinstaller")
    subprocess.run([mkinstaller, "--stub", str(stub),
                    "--from", str(make_payload()), "-o", str(INSTALLER)], check=True)
    inspection = subprocess.run([mkinstaller, "--inspect", str(INSTALLER)], check=True,
                                capture_output=True, text=True).stdout
    print("mkinstaller --inspect:")
    print("".join("  " + line + "\n" for line in inspection.splitlines()), end="")
    print(f"installer: {INSTALLER} ({INSTALLER.stat().st_size} bytes: the {bench.width}-bit stub "
          f"of {stub.stat().st_size} bytes and the archive)")

    working = bench.user_temp() / "orvane_demo"
    shutil.rmtree(working, ignore_errors=True)
    result = bench.run(INSTALLER, screenshot=("Extracting", SCREENSHOT), timeout=60)
    print(f"exit code: {result.exit_code}; message boxes: {len(result.boxes)}")
    for box in result.boxes:
        print(f"  box {box.caption!r}: {box.text!r}")

    print(f"working directory (C:\\users\\...\\Temp\\orvane_demo\\ = {working}):")
    for path in sorted(working.rglob("*")):
        if path.is_file() and path.name != "probe-report.txt":
            print(f"  {path.relative_to(working).as_posix():24} {path.stat().st_size:9} bytes")
    print(f"uninstaller copy: {bench.user_temp() / 'orvane_r.exe'} "
          f"(same bytes as the installer: {(bench.user_temp() / 'orvane_r.exe').read_bytes() == INSTALLER.read_bytes()})")

    print("registry:")
    for key, value in ((f"{WINDOWS_KEY}\\RunOnce", "orvane_demo"),
                       (f"{WINDOWS_KEY}\\Uninstall\\orvane_stub", "DisplayName"),
                       (f"{WINDOWS_KEY}\\Uninstall\\orvane_stub", "UninstallString")):
        print(f"  {key}\\{value} = {bench.reg_query(key, value)}")

    if bench.wait_for_file(working / "probe-report.txt", timeout=20):
        report = read_probe_report(working)
        print("setup program's report:")
        for name in ("program", "command", "directory"):
            print(f"  {name}: {report[name]}")
    else:
        print("setup program's report: none (the setup program did not run)")
        return 1

    if result.screenshot is None:
        print("screenshot: no extraction window was seen")
        return 1
    painted = "" if result.screenshot.painted else " (not fully painted)"
    print(f"screenshot of the extraction window{painted}: {SCREENSHOT} "
          f"(\"{result.screenshot.text}\")")
    return 0 if result.exit_code == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
