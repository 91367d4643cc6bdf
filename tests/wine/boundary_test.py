"""The installer as an elevation boundary, under the Wine bench: a program
of the same user without administrator rights, racing the installer or
planting things beforehand, gets nothing of its own extracted, started or
registered, and nothing written through its links.

The races stop the installer at a chosen moment (inotify on the temporary
directory, then SIGSTOP of its process) and have tools/file_racer do, from
inside the prefix, what such a program would try there, so that Wine's
sharing rules decide; then the installer goes on (SIGCONT). Each race runs
five times. ORVANE_RACE_STUB names another stub to race (an older build,
to see the racer win); the deliverable by default.

Run by ctest inside the bench fixture (ORVANE_BENCH_DIR, ORVANE_WIN64_DIR,
ORVANE_WIN32_DIR and ORVANE_MKINSTALLER set). Standard library only.
"""

import ctypes
import os
import select
import signal
import struct
import subprocess
import threading
import zipfile
from pathlib import Path

from installer_cases import RUN_ONCE_KEY, UNINSTALL_KEY, InstallerCase
from winebench import run_tests, windows_path

IN_CREATE, IN_MOVED_TO = 0x100, 0x80
ROUNDS = 5
DAMAGED = "This installer is damaged or incomplete. Please download it again."


def installer_pids(name):
    """Processes whose program (the first word of the command line) is the
    Windows program `name`; the robot that starts it names it later."""
    pids = []
    for entry in Path("/proc").iterdir():
        try:
            first = (entry / "cmdline").read_bytes().split(b"\0")[0].decode("latin-1")
        except (OSError, ValueError):
            continue
        if first.replace("\\", "/").lower().endswith("/" + name.lower()):
            pids.append(int(entry.name))
    return pids


class Racer(threading.Thread):
    """Waits for a name for which `trigger(name)` holds to appear in
    `directory`; then stops the installer `program`, calls `act(name)`,
    and lets the installer go on. `names` lists every name that appeared
    there, and in directories made there while the racer watched; `before`
    those that came before the racer's act."""

    def __init__(self, directory, program, trigger, act):
        super().__init__(daemon=True)
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK | os.O_CLOEXEC)
        self.watches = {}
        self.watch(directory)
        self.program, self.trigger, self.act = program, trigger, act
        self.names, self.before, self.fired, self.done = [], None, None, threading.Event()

    def watch(self, directory):
        wd = self.libc.inotify_add_watch(self.fd, str(directory).encode(), IN_CREATE | IN_MOVED_TO)
        self.watches[wd] = Path(directory)

    def run(self):
        while not self.done.is_set():
            if not select.select([self.fd], [], [], 0.05)[0]:
                continue
            data = os.read(self.fd, 65536)
            while data:
                wd, mask, _, length = struct.unpack_from("iIII", data)
                name = data[16:16 + length].rstrip(b"\0").decode("utf-8", "replace")
                data = data[16 + length:]
                self.names.append(name)
                path = self.watches[wd] / name
                if path.is_dir() and not path.is_symlink():
                    self.watch(path)
                if self.fired is None and self.trigger(name):
                    self.before = list(self.names)
                    pids = installer_pids(self.program)
                    for pid in pids:
                        os.kill(pid, signal.SIGSTOP)
                    try:
                        self.fired = self.act(name)
                    finally:
                        for pid in pids:
                            os.kill(pid, signal.SIGCONT)

    def stop(self):
        self.done.set()
        self.join()
        os.close(self.fd)


class Boundary(InstallerCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.race_stub = Path(os.environ.get("ORVANE_RACE_STUB") or cls.stub)
        cls.racer = str(cls.bench.win64("file_racer.exe"))

    def file_racer(self, *args):
        return self.bench._wine(["wine", self.racer, *map(str, args)])[0]

    def race(self, temp, installer, trigger, act):
        racer = Racer(temp, installer.name, trigger, act)
        racer.start()
        try:
            result = self.bench.run(installer, answers=["OK"] * 3)
        finally:
            racer.stop()
        return result, racer

    def test_archive_swapped_during_the_run_is_never_extracted(self):
        # When the uninstaller copy appears (today's code extracts after
        # that, reopening its archive), or when the working directory does,
        # the racer puts its own installer in place of the one running and
        # its own archive where a temporary one would be.
        for round in range(ROUNDS):
            temp, temp_windows = self.use_temp(f"e2e-swap-{round}")
            good = self.make_installer("swap.exe", {"SETUP.EXE": self.probe,
                                                    "data.bin": os.urandom(1 << 20)},
                                       stub=self.race_stub)
            evil_archive = self.make_archive({"SETUP.EXE": self.probe, "evil.txt": b"planted"})
            evil = self.installer_of("evil.exe", evil_archive, stub=self.race_stub)

            def act(name):
                return [self.file_racer("replace", windows_path(evil), windows_path(good)),
                        self.file_racer("replace", windows_path(evil_archive),
                                        f"{temp_windows}swap\\uztemp.zip")]

            trigger = (lambda name: name.startswith("orvane_r")) if round % 2 == 0 else \
                (lambda name: name == "swap")
            result, racer = self.race(temp, good, trigger, act)
            with self.subTest(round=round, fired=racer.fired, seen=racer.names):
                self.assertIsNotNone(racer.fired)
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                self.probe_report(temp / "swap")
                self.assertTrue((temp / "swap" / "data.bin").exists())
                self.assertFalse((temp / "swap" / "evil.txt").exists())
                # No temporary archive comes before the uninstaller copy.
                self.assertNotIn("uztemp.zip", racer.before)

    def test_working_directory_replaced_by_a_link_receives_nothing(self):
        # Right after the working directory is made, the racer moves it away
        # and puts a link to a folder of the user's in its place.
        for round in range(ROUNDS):
            outside = self.work / f"outside-{round}"
            outside.mkdir()
            temp, temp_windows = self.use_temp(f"e2e-link-{round}")
            installer = self.make_installer("moved.exe", {"SETUP.EXE": self.probe,
                                                          "payload.txt": b"payload"},
                                            stub=self.race_stub)

            def act(name):
                moved = self.file_racer("rename", f"{temp_windows}moved", f"{temp_windows}away")
                if moved == 0:
                    (temp / "moved").symlink_to(outside, target_is_directory=True)
                return moved

            result, racer = self.race(temp, installer, lambda name: name == "moved", act)
            with self.subTest(round=round, fired=racer.fired, seen=racer.names):
                self.assertIsNotNone(racer.fired)
                self.assertTrue(outside.is_dir())
                self.assertEqual(list(outside.iterdir()), [])
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                made = [d for d in temp.iterdir() if d.name.startswith("moved") and not d.is_symlink()]
                self.assertEqual(len(made), 1, racer.names)
                self.probe_report(made[0])

    def test_elevated_working_directory_lets_only_administrators_write(self):
        # Wine runs every program with an administrator's full token, so the
        # stub always takes its elevated way here.
        temp, temp_windows = self.use_temp("e2e-admin")
        installer = self.work / "admin.exe"
        subprocess.run([self.mkinstaller, "--stub", str(self.stub), "--archive",
                        str(self.make_archive({"SETUP.EXE": self.probe})),
                        "--elevation", "requireAdministrator", "-o", str(installer)], check=True)
        result = self.bench.run(installer)
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
        self.probe_report(temp / "admin")
        code, sddl, _ = self.bench._wine(["wine", self.racer, "sddl", f"{temp_windows}admin"])
        self.assertEqual(code, 0)
        for ace in sddl.strip().partition("D:")[2].strip("P").split(")("):
            fields = ace.strip("()").split(";")
            rights, trustee = fields[2], fields[5]
            if trustee in ("WD", "BU", "AU", "IU"):
                self.assertNotIn("FA", rights, sddl)
                self.assertNotIn("FW", rights, sddl)
        self.skipTest("a DLL dropped by an unelevated program: Wine gives every program an "
                      "administrator's full token and keeps no access list of a file (it maps "
                      "one onto the Unix mode of one user); the list itself is checked on the "
                      "host (DirectorySecurity)")

    def test_names_ending_in_blanks_or_dots_work_in_a_directory_they_made(self):
        # Windows drops the blank of "inst " as a last component and keeps it
        # further in: planted "inst " and "inst." (a link) must stay untouched.
        temp, temp_windows = self.use_temp("e2e-trail")
        outside = self.work / "outside"
        outside.mkdir()
        (temp / "inst ").mkdir()
        (temp / "inst " / "version.dll").write_bytes(b"planted")
        (temp / "inst.").symlink_to(outside)
        for name, working in (("inst .exe", "inst"), ("inst...exe", "inst-2")):
            with self.subTest(installer=name):
                installer = self.make_installer(name, {"SETUP.EXE": self.probe, "a.txt": b"a"})
                result = self.bench.run(installer)
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                report = self.probe_report(temp / working)
                self.assertEqual(report["program"], f"{temp_windows}{working}\\SETUP.EXE")
        self.assertEqual([p.name for p in (temp / "inst ").iterdir()], ["version.dll"])
        self.assertEqual(list(outside.iterdir()), [])

        # REMOVE through "x " and "y.", links to a folder of the user's.
        (outside / "sub").mkdir()
        (outside / "sub" / "f.txt").write_bytes(b"kept")
        (temp / "x ").symlink_to(outside)
        (temp / "y.").symlink_to(outside)
        for directory in (f"{temp_windows}x \\sub\\", f"{temp_windows}y..\\sub", f"{temp_windows}y.\\sub"):
            result = self.bench.run(self.stub, ["REMOVE", directory])
            self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
            self.assertTrue((outside / "sub" / "f.txt").exists(), directory)

    def test_nothing_registered_names_an_uninstaller_the_run_did_not_write(self):
        victim = self.bench.drive_c() / "victim.txt"
        victim.write_bytes(b"victim")
        self.addCleanup(victim.unlink)
        for planted in ("in use", "link", "folder"):
            with self.subTest(planted=planted):
                temp, temp_windows = self.use_temp(f"e2e-copy-{planted.replace(' ', '')}")
                copy = temp / "orvane_r.exe"
                holder = None
                if planted == "in use":
                    copy.write_bytes(b"planted program")
                    holder = subprocess.Popen(
                        ["wine", self.racer, "hold", f"{temp_windows}orvane_r.exe", "60"],
                        env=self.bench.environment(), stdout=subprocess.PIPE,
                        stderr=subprocess.DEVNULL)
                    self.addCleanup(holder.kill)
                    self.assertEqual(holder.stdout.readline().strip(), b"held")
                elif planted == "link":
                    copy.symlink_to(victim)
                else:
                    copy.mkdir()
                self.bench.reg_delete(RUN_ONCE_KEY, "plain")
                self.bench.reg_delete(UNINSTALL_KEY)
                installer = self.make_installer("plain.exe", {"SETUP.EXE": self.probe})
                result = self.bench.run(installer)
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                self.probe_report(temp / "plain")
                if planted == "link":
                    self.assertFalse(copy.is_symlink())
                    self.assertEqual(copy.read_bytes(), self.stub_part(installer))
                    self.assert_registered(temp_windows, "plain", f"{temp_windows}plain\\")
                else:
                    self.assertIsNone(self.bench.reg_query(RUN_ONCE_KEY, "plain"))
                    self.assertIsNone(self.bench.reg_query(UNINSTALL_KEY, "UninstallString"))
                    self.assertEqual(copy.is_dir(), planted == "folder")
                self.assertEqual(victim.read_bytes(), b"victim")
                self.assertEqual([p.name for p in temp.iterdir() if p.name.startswith("orvane_r")],
                                 ["orvane_r.exe"])
                if holder:
                    holder.kill()
                    holder.wait()

    def test_records_sharing_an_entry_are_damage(self):
        # A hundred records naming one entry's bytes: a small installer that
        # would write them a hundred times.
        temp, _ = self.use_temp("e2e-overlap")
        archive = self.make_archive({"SETUP.EXE": self.probe, "big.bin": bytes(200000)})
        data = archive.read_bytes()
        end = data.index(b"PK\x05\x06")
        record = data[data.rindex(b"PK\x01\x02", 0, end):end]  # the last: big.bin's
        self.assertEqual(record[46:53], b"big.bin")
        copies = b"".join(record[:46] + b"c%02d.bin" % i + record[53:] for i in range(100))
        directory = struct.unpack_from("<I", data, end + 16)[0]
        end_record = bytearray(data[end:])
        struct.pack_into("<HHI", end_record, 8, 102, 102, end - directory + len(copies))
        archive.write_bytes(data[:end] + copies + bytes(end_record))
        installer = self.installer_of("overlap.exe", archive)
        result = self.bench.run(installer, answers=["OK"])
        self.assertEqual(result.exit_code, 1, result.transcript)
        self.assertEqual([b.text for b in result.boxes], [DAMAGED], result.transcript)
        self.assertEqual(list(temp.iterdir()), [])


if __name__ == "__main__":
    run_tests()
