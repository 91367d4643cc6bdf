"""End-to-end tests of a finished installer under the Wine bench: installers
made with mkinstaller from the deliverable stub, run through the UI robot as a
user would run them, with the setup probe (build/win64/setup_probe.exe)
standing in for the publisher's setup program. Each test points the user's
TEMP (HKCU\\Environment) at a directory of its own and puts it back after.

Run by ctest inside the bench fixture (ORVANE_BENCH_DIR, ORVANE_WIN64_DIR, ORVANE_WIN32_DIR
and ORVANE_MKINSTALLER set). Standard library only.
"""

import csv
import os
import random
import re
import shutil
import struct
import subprocess
import time
import unittest
import zlib
import zipfile
from pathlib import Path

from installer_cases import ENVIRONMENT_KEY, RUN_ONCE_KEY, UNINSTALL_KEY, InstallerCase
from winebench import Bench, run_tests


def snapshot(root):
    """(relative path, size) of everything under `root`; a link is listed as
    a link (size -1) and never followed."""
    found = set()
    for directory, dirs, files in os.walk(root):
        for name in dirs + files:
            path = Path(directory) / name
            found.add((path.relative_to(root).as_posix(),
                       -1 if path.is_symlink() else path.lstat().st_size if name in files else 0))
    return found


class Installer(InstallerCase):
    def test_complete_installation(self):
        temp, temp_windows = self.use_temp("e2e-complete")
        rng = random.Random(7)
        entries = {
            "SETUP.EXE": self.probe,
            "bin/tool.dll": rng.randbytes(1 << 20),
            "empty.txt": b"",
            "emptydir": None,
            "docs/manual.txt": b"".join(b"line %d of the manual\r\n" % i for i in range(90000)),
            # Last, and in new directories: extraction ends in docs\a\b\c,
            # which the setup program inherits as its current directory.
            "docs/a/b/c/deep.txt": rng.randbytes(300000),
        }
        installer = self.make_installer("mysetup.exe", entries)
        self.bench.reg_delete(RUN_ONCE_KEY, "mysetup")

        result = self.bench.run(installer)
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)

        working = temp / "mysetup"
        working_windows = f"{temp_windows}mysetup\\"
        for name, data in entries.items():
            if data is None:
                self.assertTrue((working / name).is_dir(), name)
            else:
                self.assertEqual((working / name).read_bytes(), data, name)
        report = self.probe_report(working)
        self.assertEqual(report["program"], f"{working_windows}SETUP.EXE")
        self.assertEqual(report["directory"], f"{working_windows}docs\\a\\b\\c")
        extracted = {p.relative_to(working).as_posix() for p in working.rglob("*")}
        self.assertEqual(extracted - {"probe-report.txt"},
                         set(entries) | {"bin", "docs", "docs/a", "docs/a/b", "docs/a/b/c"})
        self.assertEqual((temp / "orvane_r.exe").read_bytes(), self.stub_part(installer))
        self.assertEqual(sorted(p.name for p in temp.iterdir()), ["mysetup", "orvane_r.exe"])
        self.assert_registered(temp_windows, "mysetup", working_windows)

    def test_32_bit_stub_writes_the_32_bit_registry_view(self):
        # On 64-bit Windows a 32-bit program's HKLM\Software lies in
        # Wow6432Node; the bench's registry helpers see that view.
        if self.bench.width != 32:
            self.skipTest(f"32-bit programs do not run here: {self.bench.without_32_bit()}")
        temp, temp_windows = self.use_temp("e2e-view")
        installer = self.make_installer("narrow.exe", {"SETUP.EXE": self.probe})
        wide_view = Bench.from_environment(64)
        wow64_uninstall = UNINSTALL_KEY.replace("SOFTWARE", "SOFTWARE\\Wow6432Node")
        wide_view.reg_delete(wow64_uninstall)
        wide_view.reg_delete(UNINSTALL_KEY)
        result = self.bench.run(installer)
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
        self.probe_report(temp / "narrow")
        expected = ("REG_SZ", f'"{temp_windows}orvane_r.exe" VREMOVE')
        self.assertEqual(self.bench.reg_query(UNINSTALL_KEY, "UninstallString"), expected)
        self.assertEqual(wide_view.reg_query(wow64_uninstall, "UninstallString"), expected)
        self.assertIsNone(wide_view.reg_query(UNINSTALL_KEY, "UninstallString"))

    def test_names_beyond_ascii_reach_the_setup_program(self):
        temp, temp_windows = self.use_temp("e2e-names")
        entries = {"SETUP.EXE": self.probe, "Xbersicht.txt": b"code page 437",
                   "中文.txt": b"not in code page 1252",
                   # Last: the setup program starts in this folder.
                   "Über/Ärger.txt": b"utf-8"}
        archive = self.make_archive(entries)
        archive.write_bytes(archive.read_bytes().replace(b"Xbersicht", b"\x9abersicht"))
        installer = self.installer_of("names.exe", archive)
        self.bench.reg_delete(RUN_ONCE_KEY, "names")
        # The stub's manifest makes UTF-8 its ANSI code page, so "中文.txt"
        # is created even under code page 1252; the name without the UTF-8
        # flag is still read in the system's OEM code page, 437.
        result = self.bench.run(installer)
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
        working = temp / "names"
        self.assertEqual((working / "Übersicht.txt").read_bytes(), b"code page 437")
        self.assertEqual((working / "中文.txt").read_bytes(), b"not in code page 1252")
        self.assertEqual((working / "Über" / "Ärger.txt").read_bytes(), b"utf-8")
        # The probe reports its directory in code page 1252, which Python
        # reads as Latin-1: the same characters here.
        report = self.probe_report(working)
        self.assertEqual(report["directory"], f"{temp_windows}names\\Über")
        self.assertEqual(sorted(p.name for p in working.iterdir()),
                         ["SETUP.EXE", "probe-report.txt", "Über", "Übersicht.txt", "中文.txt"])

    def test_setup_program_path_is_started_as_it_is(self):
        # Plainly before Vista and elevated after, the path is started as it
        # is, environment references included: the installer
        # a%ORVANE_HOW%<version>.exe (ORVANE_HOW=RUNAS) starts its own
        # %ORVANE_HOW%.EXE, not RUNAS.EXE beside it, nor the one planted in
        # aRUNAS<version>\\. Wine's shell expands environment references in
        # the path of every ShellExecuteEx whatever its flags say, so there
        # the elevated start cannot show that the stub no longer asks for it.
        temp, temp_windows = self.use_temp("e2e-versions")
        entries = {"%ORVANE_HOW%.EXE": self.probe, "RUNAS.EXE": self.probe}
        for version in ("winxp", "win7", "win10"):
            with self.subTest(version=version):
                if version != "winxp":
                    self.skipTest("Wine's ShellExecuteEx expands the path whatever its flags")
                name = f"a%ORVANE_HOW%{version}"
                planted = temp / f"aRUNAS{version}"
                planted.mkdir()
                (planted / "%ORVANE_HOW%.EXE").write_bytes(self.probe)
                installer = self.make_installer(f"{name}.exe", entries, setup="%ORVANE_HOW%.EXE")
                self.bench.set_windows_version(f"{name}.exe", version)
                self.addCleanup(self.bench.set_windows_version, f"{name}.exe", None)
                result = self.bench.run(installer, env={"ORVANE_HOW": "RUNAS"})
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                report = self.probe_report(temp / name)
                self.assertEqual(report["program"], f"{temp_windows}{name}\\%ORVANE_HOW%.EXE")
                if version == "winxp":
                    self.assertEqual(report["command"], f'"{report["program"]}"')
                self.assertFalse((planted / "probe-report.txt").exists())

    def test_setup_arguments_reach_the_setup_program(self):
        # "My Setup.exe /S /lang=en": the program is the longest part that
        # names a file ("My" is one too), the rest its parameters. Before
        # NT 6.0 the stub builds the command line itself (path quoted:
        # unquoted, the planted My.exe would start); from NT 6.0 on
        # ShellExecuteExA takes the parameters apart.
        temp, temp_windows = self.use_temp("e2e-arguments")
        entries = {"My Setup.exe": self.probe, "My.exe": self.probe, "My": self.probe}
        for version in ("winxp", "win7"):
            with self.subTest(version=version):
                name = f"args-{version}"
                installer = self.make_installer(f"{name}.exe", entries, setup="My Setup.exe /S /lang=en")
                self.bench.set_windows_version(f"{name}.exe", version)
                self.addCleanup(self.bench.set_windows_version, f"{name}.exe", None)
                self.bench.reg_delete(RUN_ONCE_KEY, name)
                result = self.bench.run(installer)
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                report = self.probe_report(temp / name)
                program = f"{temp_windows}{name}\\My Setup.exe"
                self.assertEqual(report["program"], program)
                self.assertEqual(report["command"], f'"{program}" /S /lang=en')

    def test_temp_with_blanks_starts_the_quoted_program(self):
        # Unquoted, "...\e2e quoted\v\SETUP.EXE" would start ...\e2e.exe.
        temp, temp_windows = self.use_temp("e2e quoted")
        planted = self.user_temp / "e2e.exe"
        planted.write_bytes(self.probe)
        self.addCleanup(planted.unlink)
        installer = self.make_installer("v.exe", {"SETUP.EXE": self.probe})
        self.bench.set_windows_version("v.exe", "winxp")
        self.addCleanup(self.bench.set_windows_version, "v.exe", None)
        result = self.bench.run(installer)
        self.assertEqual(result.exit_code, 0, result.transcript)
        self.assertEqual(self.probe_report(temp / "v")["program"], f"{temp_windows}v\\SETUP.EXE")
        self.assertFalse((self.user_temp / "probe-report.txt").exists())
        self.assert_registered(temp_windows, "v", f"{temp_windows}v\\")

    def test_crc_errors_end_the_run_without_a_trace(self):
        # Every entry is tried, each damaged one with its box; then nothing is
        # registered or started, the working directory goes, and the exit
        # code says that the extraction failed.
        temp, temp_windows = self.use_temp("e2e-crc")
        entries = {"SETUP.EXE": self.probe, "one.txt": b"one" * 1000, "two.txt": b"two" * 1000,
                   "three.txt": b"three" * 1000}
        installer = self.make_installer("crc.exe", entries, corrupt=("one.txt", "three.txt"))
        self.bench.reg_delete(RUN_ONCE_KEY, "crc")
        result = self.bench.run(installer, answers=["OK", "OK"])
        self.assertEqual(result.exit_code, 1603, result.transcript)
        self.assertEqual([(b.caption, b.text) for b in result.boxes],
                         [("Installer", "CRC-Error!")] * 2, result.transcript)

        # Both status windows as the user saw them at each box: the copying
        # window hidden, the extraction window showing the entries reached.
        for box, percent in zip(result.boxes, (50, 100)):
            windows = {w.lines[0].text: w for w in box.status_windows}
            self.assertEqual(set(windows), {"Copying Files...", f"Extracting, {percent}% complete"},
                             result.transcript)
            for text, window in windows.items():
                self.assertEqual(window.caption, "Installer")
                self.assertEqual(window.visible, text.startswith("Extracting"))
                self.assertEqual((window.rect.x, window.rect.y, window.rect.width, window.rect.height),
                                 (387, 359, 250, 75))
                line = window.lines[0]
                self.assertEqual(line.window_class.upper(), "STATIC")
                self.assertEqual((line.rect.x, line.rect.y, line.rect.width, line.rect.height),
                                 (15, 10, 250, 20))

        self.assertEqual(list(temp.iterdir()), [])
        self.assertIsNone(self.bench.reg_query(RUN_ONCE_KEY, "crc"))

    def test_status_windows_are_scaled_to_the_screen_dpi(self):
        # 192 DPI: twice the 96-DPI sizes, still centred on the 1024x768
        # screen; the box of a CRC error shows the extraction window.
        desktop = "HKCU\\Control Panel\\Desktop"
        self.bench.reg_add(desktop, "LogPixels", "REG_DWORD", "192")
        self.addCleanup(self.bench.reg_delete, desktop, "LogPixels")
        self.use_temp("e2e-dpi")
        installer = self.make_installer("dpi.exe", {"SETUP.EXE": self.probe, "bad.txt": b"x" * 999},
                                        corrupt=("bad.txt",))
        result = self.bench.run(installer, answers=["OK"])
        self.assertEqual(result.exit_code, 1603, result.transcript)
        window = [w for w in result.boxes[0].status_windows if w.visible][0]
        self.assertEqual((window.rect.x, window.rect.y, window.rect.width, window.rect.height),
                         (262, 334, 500, 150), result.transcript)
        line = window.lines[0].rect
        self.assertEqual((line.x, line.y, line.width, line.height), (30, 20, 500, 40))

    def test_registration_lands_for_the_user_where_the_machine_refuses_it(self):
        # A standard user may not write under HKLM: the uninstall entry then
        # goes under HKCU; where HKLM takes it, HKCU gets nothing. The
        # run-once removal always goes under HKCU: it starts a program in the
        # user's temporary directory, which HKLM would start with an
        # administrator's rights.
        deny = "D:(D;CI;0x6;;;WD)(A;CI;KA;;;WD)"
        machine_run_once = RUN_ONCE_KEY.replace("HKCU", "HKLM", 1)
        user_uninstall = UNINSTALL_KEY.replace("HKLM", "HKCU", 1)
        for refused in (True, False):
            with self.subTest(machine_refuses=refused):
                temp, temp_windows = self.use_temp(f"e2e-user-{refused}")
                for key in (RUN_ONCE_KEY, machine_run_once):
                    self.bench.reg_delete(key, "peruser")
                    self.addCleanup(self.bench.reg_delete, key, "peruser")
                for key in (UNINSTALL_KEY, user_uninstall):
                    self.bench.reg_delete(key)
                installer = self.make_installer("peruser.exe", {"SETUP.EXE": self.probe})
                machine_key = UNINSTALL_KEY.partition("\\")[2]
                if refused:
                    # The lock makes the uninstall key, empty, in both views;
                    # it goes after.
                    self.addCleanup(self.bench.reg_delete, UNINSTALL_KEY)
                    self.addCleanup(Bench.from_environment(64).reg_delete, UNINSTALL_KEY)
                    self.bench.lock_registry_key(machine_key, deny)
                    self.addCleanup(self.bench.lock_registry_key, machine_key, "D:(A;CI;KA;;;WD)")
                result = self.bench.run(installer)
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                self.probe_report(temp / "peruser")
                self.bench.lock_registry_key(machine_key, "D:(A;CI;KA;;;WD)")
                written, empty = (user_uninstall, UNINSTALL_KEY) if refused else (UNINSTALL_KEY, user_uninstall)
                self.assertEqual(self.bench.reg_query(RUN_ONCE_KEY, "peruser"),
                                 self.removal_command(temp_windows, f"{temp_windows}peruser\\"))
                self.assertIsNone(self.bench.reg_query(machine_run_once, "peruser"))
                self.assertEqual(self.bench.reg_query(written, "DisplayName"), ("REG_SZ", "Orvane Stub"))
                self.assertEqual(self.bench.reg_query(written, "UninstallString"),
                                 ("REG_SZ", f'"{temp_windows}orvane_r.exe" VREMOVE'))
                self.assertIsNone(self.bench.reg_query(empty, "DisplayName"))

    def test_without_temp_value_the_system_temporary_directory_is_used(self):
        # Never a working directory relative to the current one.
        self.bench.reg_delete("HKCU\\Environment", "TEMP")
        installer = self.make_installer("notemp.exe", {"SETUP.EXE": self.probe})
        cwd = self.work / "cwd"
        cwd.mkdir()
        self.bench.reg_delete(RUN_ONCE_KEY, "notemp")
        result = self.bench.run(installer, cwd=cwd)
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
        self.assertEqual(list(cwd.iterdir()), [])
        kind, command = self.bench.reg_query(RUN_ONCE_KEY, "notemp")
        match = re.fullmatch(r'"([A-Z]:\\.+\\)orvane_r\.exe" REMOVE "\1notemp\\"', command)
        self.assertIsNotNone(match, command)
        working = self.bench.drive_c() / match[1][3:].replace("\\", "/") / "notemp"
        self.addCleanup(shutil.rmtree, working, ignore_errors=True)
        self.assertEqual(self.probe_report(working)["program"], f"{match[1]}notemp\\SETUP.EXE")

    def test_existing_working_directory_is_never_reused(self):
        # Whatever lies at TEMP\fresh\ before the run stays as it is and
        # unused: a user's own folder, a read-only DLL planted for the setup
        # program to load, a file in a subfolder, links out of it to a
        # folder and to a file; so does fresh-2, itself a link. The run
        # works in fresh-3, which it made, and schedules its removal.
        temp, temp_windows = self.use_temp("e2e-fresh")
        outside = self.work / "outside"
        outside.mkdir()
        (outside / "victim.txt").write_bytes(b"not the installer's")
        existing = temp / "fresh"
        (existing / "sub").mkdir(parents=True)
        (existing / "version.dll").write_bytes(b"planted")
        (existing / "version.dll").chmod(0o444)
        (existing / "sub" / "planted.txt").write_bytes(b"planted")
        (existing / "sublink").symlink_to(outside)
        (existing / "data.txt").symlink_to(outside / "victim.txt")
        (temp / "fresh-2").symlink_to(outside)
        before = snapshot(temp)
        entries = {"SETUP.EXE": self.probe, "data.txt": b"installed", "sub/new.txt": b"new",
                   "sublink/new.txt": b"new"}
        installer = self.make_installer("fresh.exe", entries)
        self.bench.reg_delete(RUN_ONCE_KEY, "fresh-3")
        result = self.bench.run(installer)
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
        working = temp / "fresh-3"
        self.probe_report(working)
        self.assertEqual({p for p in snapshot(temp) if not p[0].startswith("fresh-3")} -
                         {("orvane_r.exe", self.stub.stat().st_size)}, before)
        self.assertEqual(snapshot(outside), {("victim.txt", len(b"not the installer's"))})
        self.assertEqual({p.relative_to(working).as_posix() for p in working.rglob("*")},
                         set(entries) | {"sub", "sublink", "probe-report.txt"})
        self.assert_registered(temp_windows, "fresh-3", f"{temp_windows}fresh-3\\")

    def test_temp_that_climbs_out_never_reaches_other_folders(self):
        # TEMP ...\e2e-dotdot\TEMP\.. and an installer named after a folder
        # beside it: the working directory, spelled through TEMP\..\, once
        # passed every guard of the clean-up and lost the folder's files.
        temp, temp_windows = self.use_temp("e2e-dotdot")
        (temp / "TEMP").mkdir()
        victim = temp / "Program Files"
        victim.mkdir()
        (victim / "victim.txt").write_bytes(b"not the installer's")
        self.bench.reg_add(ENVIRONMENT_KEY, "TEMP", "REG_SZ", f"{temp_windows}TEMP\\..")
        installer = self.make_installer("Program Files.exe", {"SETUP.EXE": self.probe})
        self.bench.reg_delete(RUN_ONCE_KEY, "Program Files-2")
        result = self.bench.run(installer)
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
        self.assertEqual(sorted(p.name for p in victim.iterdir()), ["victim.txt"])
        self.assertEqual(self.probe_report(temp / "Program Files-2")["program"],
                         f"{temp_windows}Program Files-2\\SETUP.EXE")
        self.assert_registered(temp_windows, "Program Files-2", f"{temp_windows}Program Files-2\\")

    def test_short_file_name_never_works_in_temp_itself(self):
        # "..exe" less its last four characters is ".": TEMP itself, whose
        # files the clean-up would delete.
        temp, temp_windows = self.use_temp("e2e-short")
        (temp / "precious.txt").write_bytes(b"not the installer's")
        installer = self.make_installer("..exe", {"SETUP.EXE": self.probe})
        result = self.bench.run(installer)
        self.assertEqual(result.exit_code, 0, result.transcript)
        self.assertEqual(self.probe_report(temp / "orvane_stub")["program"],
                         f"{temp_windows}orvane_stub\\SETUP.EXE")
        self.assertEqual((temp / "precious.txt").read_bytes(), b"not the installer's")

    def test_unhandled_failures_end_with_application_error(self):
        temp, temp_windows = self.use_temp("e2e-fail")
        installer = self.make_installer("fail.exe", {"SETUP.EXE": self.probe})
        data = installer.read_bytes()
        size_field = b"%07d" % (self.stub.stat().st_size + 1)
        broken_field = self.work / "field.exe"
        broken_field.write_bytes(data.replace(size_field, b"12x4567", 1))
        for name, installer, words in (("field", broken_field, "12x4567"),
                                       ("fail", installer, "afile\\fail")):
            with self.subTest(failure=name):
                if name == "fail":
                    # TEMP names a file: no working directory can be made in it.
                    (temp / "afile").write_bytes(b"a file")
                    self.bench.reg_add(ENVIRONMENT_KEY, "TEMP", "REG_SZ", f"{temp_windows}afile")
                result = self.bench.run(installer, answers=["OK"])
                self.assertEqual(result.exit_code, 1, result.transcript)
                self.assertEqual(len(result.boxes), 1, result.transcript)
                box = result.boxes[0]
                self.assertEqual((box.caption, box.icon), ("Application Error", "error"))
                self.assertIn(words, box.text)
                # Still copying: no extraction window, no later step.
                self.assertEqual([(w.visible, w.lines[0].text) for w in box.status_windows],
                                 [(True, "Copying Files...")])
                self.assertFalse((temp / "orvane_r.exe").exists())
                self.assertIsNone(self.bench.reg_query(RUN_ONCE_KEY, name))
                self.assertFalse((temp / name / "SETUP.EXE").exists())

    def test_classic_methods_install(self):
        # One payload holding every entry of the PKZIP corpus, copied raw:
        # shrunk, reduced (factors 1 and 4), imploded (both dictionaries),
        # deflated and stored, each under a folder named after its archive.
        corpus = Path(os.environ["ORVANE_CORPUS_DIR"])
        if not (corpus / "MANIFEST.tsv").exists():
            self.skipTest(f"no reference archives at {corpus} (ORVANE_CORPUS_DIR)")
        temp, _ = self.use_temp("e2e-classic")
        expected, entries = {}, [("SETUP.EXE", 0, self.probe)]
        with open(corpus / "MANIFEST.tsv", newline="") as f:
            for row in csv.DictReader(f, delimiter="\t"):
                expected[f"{Path(row['archive']).stem}/{row['entry']}"] = (int(row["size"]),
                                                                            int(row["crc32"], 16))
        for archive in sorted({name.split("/")[0] for name in expected}):
            entries += raw_entries(corpus / "pkzip" / f"{archive}.ZIP", archive)
        payload = self.work / "classic.zip"
        payload.write_bytes(raw_archive(entries))
        installer = self.installer_of("classic.exe", payload)
        result = self.bench.run(installer, timeout=120)
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
        working = temp / "classic"
        self.probe_report(working)
        for name, (size, crc) in expected.items():
            data = (working / name).read_bytes()
            self.assertEqual((len(data), zlib.crc32(data)), (size, crc), name)

    def test_installer_packed_from_a_folder(self):
        rng = random.Random(11)
        # With LZMA: dictionaries within the stub's 32 KB window (SETUP.EXE
        # is a little larger), of their own, and of 8 MB for the 9 MB file,
        # which wraps around it.
        files = {
            "SETUP.EXE": self.probe,
            "data/noise.bin": rng.randbytes(100000),
            "data/text.txt": b"".join(b"line %d\r\n" % i for i in range(20000)),
            "data/small.txt": b"a small file\r\n" * 100,
            "data/large.txt": b"".join(b"record %d: %d\r\n" % (i, rng.randrange(10**6))
                                       for i in range(500000)),
            "data/zero.txt": b"",
            "empty/": None,
        }
        folder = self.work / "dist"
        for name, data in files.items():
            (folder / name).parent.mkdir(parents=True, exist_ok=True)
            if data is None:
                (folder / name).mkdir()
            else:
                (folder / name).write_bytes(data)
        for method in ("deflate", "lzma"):
            with self.subTest(method):
                temp, _ = self.use_temp(f"e2e-folder-{method}")
                installer = self.work / "fromdir.exe"
                subprocess.run([self.mkinstaller, "--stub", str(self.stub), "--from", str(folder),
                                "--method", method, "-o", str(installer)], check=True,
                               env={**os.environ, "SOURCE_DATE_EPOCH": "1700000000"})
                self.bench.reg_delete(RUN_ONCE_KEY, "fromdir")
                result = self.bench.run(installer)
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                working = temp / "fromdir"
                self.probe_report(working)
                for name, data in files.items():
                    if data is None:
                        self.assertTrue((working / name).is_dir(), name)
                    else:
                        self.assertEqual((working / name).read_bytes(), data, name)
                        # The UTC stamp, applied as local time.
                        self.assertEqual(time.localtime((working / name).stat().st_mtime)[:6],
                                         (2023, 11, 14, 22, 13, 20), name)
                with zipfile.ZipFile(installer) as archive:
                    self.assertEqual(archive.getinfo("data/large.txt").compress_type,
                                     {"deflate": 8, "lzma": 14}[method])

    def test_signed_installers_install(self):
        # Signed after mkinstaller, as a publisher does: the signature follows
        # the archive, so the engine's search for the end record (4096-byte
        # windows from the end of the file, 4074 bytes apart) passes over it.
        # Extra certificates in the signature make it span several windows.
        for tool in ("osslsigncode", "openssl"):
            self.assertTrue(shutil.which(tool), f"{tool} is missing: run scripts/setup.sh")
        temp, _ = self.use_temp("e2e-signed")
        keys = self.work / "keys"
        make_test_certificates(keys, extra=16)
        rng = random.Random(3)
        files = {"SETUP.EXE": self.probe, "data/noise.bin": rng.randbytes(50000),
                 "data/text.txt": b"signed installers install\r\n" * 3000}
        folder = self.work / "dist"
        for name, data in files.items():
            (folder / name).parent.mkdir(parents=True, exist_ok=True)
            (folder / name).write_bytes(data)
        unsigned = self.work / "unsigned.exe"
        subprocess.run([self.mkinstaller, "--stub", str(self.stub), "--from", str(folder),
                        "-o", str(unsigned)], check=True)
        # The archive ends in its end record and the seal, its comment.
        record_at = unsigned.stat().st_size - 22 - 44
        for padded, least_windows in ((False, 1), (True, 4)):
            with self.subTest(padded=padded):
                name = f"signed{int(padded)}"
                installer = self.work / f"{name}.exe"
                command = ["osslsigncode", "sign", "-certs", keys / "publisher.pem",
                           "-key", keys / "publisher.key", "-n", "Orvane test", "-in", unsigned,
                           "-out", installer]
                subprocess.run(command + (["-ac", keys / "extra.pem"] if padded else []),
                               check=True, capture_output=True)
                verified = subprocess.run(["osslsigncode", "verify", "-CAfile", keys / "ca.pem",
                                           "-in", installer], capture_output=True, text=True)
                self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
                self.assertIn("Signature verification: ok", verified.stdout)

                size = installer.stat().st_size
                windows = search_windows(size, record_at)
                self.assertGreaterEqual(windows, least_windows)
                inspected = subprocess.run([self.mkinstaller, "--inspect", installer],
                                           capture_output=True, text=True)
                self.assertEqual(inspected.returncode, 0, inspected.stdout + inspected.stderr)
                self.assertIn("seal: right", inspected.stdout)
                signature_at = (record_at + 22 + 44 + 7) // 8 * 8  # padded to 8 bytes
                self.assertIn(f"an Authenticode signature of {size - signature_at} bytes at byte "
                              f"{signature_at}", inspected.stdout)
                print(f"{name}: signature of {size - signature_at} bytes, "
                      f"end record in search window {windows}")

                self.bench.reg_delete(RUN_ONCE_KEY, name)
                result = self.bench.run(installer)
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                working = temp / name
                self.probe_report(working)
                for file, data in files.items():
                    self.assertEqual((working / file).read_bytes(), data, file)


def make_test_certificates(directory, extra):
    """A test CA (ca.pem), a code-signing certificate it issued with its key
    (publisher.pem, publisher.key) and `extra` further certificates
    (extra.pem), which only make a signature longer."""
    directory.mkdir()

    def openssl(*args):
        subprocess.run(["openssl", *args], cwd=directory, check=True, capture_output=True)

    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key", "-out", "ca.pem",
            "-days", "30", "-subj", "/CN=Orvane Test CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", "publisher.key",
            "-out", "publisher.csr", "-subj", "/CN=Orvane Test Publisher")
    (directory / "publisher.ext").write_text(
        "basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n"
        "extendedKeyUsage=codeSigning\n")
    openssl("x509", "-req", "-in", "publisher.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-out", "publisher.pem", "-days", "30",
            "-extfile", "publisher.ext")
    pems = []
    for number in range(extra):
        openssl("req", "-x509", "-key", "ca.key", "-out", f"extra{number}.pem", "-days", "30",
                "-subj", f"/CN=Orvane padding certificate {number}")
        pems.append((directory / f"extra{number}.pem").read_text())
    (directory / "extra.pem").write_text("".join(pems))


def search_windows(file_size, record_at):
    """How many windows the engine reads from the end of a file of
    `file_size` bytes before it meets the end record at `record_at`: window k
    starts 4096 + 4074 * k bytes before the end."""
    k = 0
    while max(0, file_size - 4096 - 4074 * k) > record_at:
        k += 1
    return k + 1


def raw_entries(archive, folder):
    """(name, local header, data) of every entry, the data as stored."""
    raw = archive.read_bytes()
    with zipfile.ZipFile(archive) as z:
        for info in z.infolist():
            name_length, extra_length = struct.unpack_from("<HH", raw, info.header_offset + 26)
            start = info.header_offset + 30 + name_length + extra_length
            yield (f"{folder}/{info.filename}", raw[info.header_offset:info.header_offset + 26],
                   raw[start:start + info.compress_size])


def raw_archive(entries):
    """A ZIP archive of (name, local header's first 26 bytes or 0 for stored,
    data) entries, copied as they are: method, flags, time, CRC and sizes."""
    out, directory = bytearray(), bytearray()
    for name, header, data in entries:
        if header == 0:
            header = struct.pack("<IHHHHHIII", 0x04034B50, 10, 0, 0, 0, 0x21, zlib.crc32(data),
                                 len(data), len(data))
        encoded = name.encode("ascii")
        fields = header[4:26]  # version to uncompressed size
        directory += (struct.pack("<IH", 0x02014B50, 10) + fields +
                      struct.pack("<HHHHHII", len(encoded), 0, 0, 0, 0, 0, len(out)) + encoded)
        out += header + struct.pack("<HH", len(encoded), 0) + encoded + data
    count = len(entries)
    return bytes(out + directory + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count,
                                               len(directory), len(out), 0))


if __name__ == "__main__":
    run_tests()
