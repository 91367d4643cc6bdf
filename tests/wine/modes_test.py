"""End-to-end tests of the stub's "123" and REMOVE modes under the Wine
bench. A "123" test puts a stub made with mkinstaller (its fields filled)
into a directory with the archive beside it as uztemp.zip, and runs it as
the program first.exe beside it would; the setup probe stands in for
the setup program. The REMOVE tests plant trees under the Windows
directory's Temp directory (C:\\windows\\temp in the prefix).

Run by ctest inside the bench fixture (ORVANE_BENCH_DIR, ORVANE_WIN64_DIR, ORVANE_WIN32_DIR
and ORVANE_MKINSTALLER set). Standard library only.
"""

import os
import shutil
import subprocess
import unittest

from installer_cases import ENVIRONMENT_KEY, RUN_ONCE_KEY, InstallerCase
from winebench import run_tests, windows_path

QUESTION = "All files have been extracted to {}, run {} now?"
NOTICE = "All files have been extracted to {}"
# The setup-command field as the stub holds it; mkinstaller refuses a blank one.
SETUP_FIELD = b"SETUP.EXE" + b" " * 119 + b"\0"


class ExtractBeside(InstallerCase):
    def setUp(self):
        super().setUp()
        self.temp, self.temp_windows = self.use_temp("e2e-beside")
        self.entries = {"SETUP.EXE": self.probe, "INSTALL.EXE": self.probe,
                        "data/readme.txt": b"read me\r\n" * 100}

    def place(self, directory, setup=None, install_dir=None, blank_setup=False, archive=True):
        """The stub (fields filled) in `directory` as stub.exe, with the
        archive beside it as uztemp.zip unless `archive` is False, and
        first.exe, the file that "123 first.exe" names for deletion."""
        stub = self.make_installer("stub.exe", self.entries, setup, install_dir=install_dir)
        if blank_setup:
            data = stub.read_bytes()
            stub.write_bytes(data.replace(SETUP_FIELD, b" " * 128 + b"\0", 1))
        directory.mkdir(parents=True, exist_ok=True)
        stub = stub.rename(directory / "stub.exe")
        (directory / "first.exe").write_bytes(b"the program that started the stub")
        if archive:
            shutil.copy(self.work / "payload.zip", directory / "uztemp.zip")
        return stub

    def assert_extracted(self, directory):
        self.assertEqual((directory / "data" / "readme.txt").read_bytes(),
                         self.entries["data/readme.txt"])

    def assert_box(self, result, text, buttons):
        self.assertEqual(result.exit_code, 0, result.transcript)
        self.assertEqual([(b.caption, b.text, b.icon, b.buttons) for b in result.boxes],
                         [("Installer", text, "none", buttons)], result.transcript)

    def test_question_yes_starts_the_quoted_setup_and_no_starts_nothing(self):
        # "My Files": unquoted, the command line would start the planted My.exe.
        planted = self.work / "My.exe"
        planted.write_bytes(self.probe)
        for answer, name in (("Yes", "My Files"), ("No", "declined")):
            with self.subTest(answer=answer):
                directory = self.work / name
                directory_windows = windows_path(directory) + "\\"
                self.bench.reg_delete(RUN_ONCE_KEY, f"{name}.uni")
                stub = self.place(directory)
                result = self.bench.run(stub, ["123", "first.exe"], answers=[answer])
                self.assert_box(result, QUESTION.format(directory_windows, "SETUP.EXE"), ["Yes", "No"])
                self.assert_extracted(directory)
                self.assertFalse((directory / "uztemp.zip").exists())
                self.assertFalse((directory / "first.exe").exists())
                if answer == "Yes":
                    report = self.probe_report(directory)
                    self.assertEqual(report["command"], f'"{directory_windows}SETUP.EXE"')
                    self.assertEqual(self.bench.reg_query(RUN_ONCE_KEY, f"{name}.uni"),
                                     self.removal_command(self.temp_windows, directory_windows))
                else:
                    self.assertFalse(self.bench.wait_for_file(directory / "probe-report.txt", 3))
                    self.assertIsNone(self.bench.reg_query(RUN_ONCE_KEY, f"{name}.uni"))
                self.assertFalse((self.work / "probe-report.txt").exists())

        with self.subTest(arguments="123 alone"):
            directory = self.work / "alone"
            stub = self.place(directory)
            result = self.bench.run(stub, ["123"], answers=["No"])
            self.assertEqual(len(result.boxes), 1, result.transcript)
            self.assertTrue((directory / "uztemp.zip").exists())
            self.assertTrue((directory / "first.exe").exists())

    def test_setup_arguments_follow_the_quoted_program(self):
        # The longest part naming a file is the program ("My" is one too),
        # quoted for WinExec (the planted My.exe stays unstarted); the rest
        # follows it. The question names the field whole.
        self.entries.update({"My Setup.exe": self.probe, "My.exe": self.probe, "My": self.probe})
        directory = self.work / "My Files"
        directory_windows = windows_path(directory) + "\\"
        stub = self.place(directory, "My Setup.exe /S /lang=en")
        result = self.bench.run(stub, ["123", "first.exe"], answers=["Yes"])
        self.assert_box(result, QUESTION.format(directory_windows, "My Setup.exe /S /lang=en"),
                        ["Yes", "No"])
        report = self.probe_report(directory)
        self.assertEqual(report["program"], f"{directory_windows}My Setup.exe")
        self.assertEqual(report["command"], f'"{directory_windows}My Setup.exe" /S /lang=en')

    def test_links_below_the_target_are_never_written_through(self):
        # data\ in the target links to a folder elsewhere: its entry is a
        # write error, the walk goes on, and the folder stays empty.
        outside = self.work / "outside"
        outside.mkdir()
        directory = self.work / "linked"
        stub = self.place(directory)
        (directory / "data").symlink_to(outside)
        result = self.bench.run(stub, ["123", "first.exe"], answers=["OK", "No"])
        self.assertEqual(result.exit_code, 0, result.transcript)
        self.assertEqual([b.text for b in result.boxes],
                         ["Write error! on data\\readme.txt",
                          QUESTION.format(windows_path(directory) + "\\", "SETUP.EXE")])
        self.assertEqual(list(outside.iterdir()), [])
        self.assertEqual((directory / "SETUP.EXE").read_bytes(), self.probe)

    def test_setup_field_decides_question_program_and_notice(self):
        for setup, started in (("*SETUP.EXE", "SETUP.EXE"), ("text|*INSTALL.EXE", "INSTALL.EXE"),
                               (None, None)):
            with self.subTest(setup=setup):
                directory = self.work / f"field-{started}"
                directory_windows = windows_path(directory) + "\\"
                stub = self.place(directory, setup, blank_setup=setup is None)
                result = self.bench.run(stub, ["123", "first.exe"], answers=["OK"])
                if started is None:
                    # The notice alone: nothing starts, nothing is deleted.
                    self.assert_box(result, NOTICE.format(directory_windows), ["OK"])
                    self.assertFalse(self.bench.wait_for_file(directory / "probe-report.txt", 3))
                    self.assertTrue((directory / "uztemp.zip").exists())
                    self.assertTrue((directory / "first.exe").exists())
                else:
                    self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                    self.assertEqual(self.probe_report(directory)["program"],
                                     directory_windows + started)
                    self.assertFalse((directory / "first.exe").exists())

    def test_missing_archive_shows_the_driver_message_and_nothing_more(self):
        directory = self.work / "missing"
        stub = self.place(directory, archive=False)
        result = self.bench.run(stub, ["123", "first.exe"], answers=["OK"])
        self.assert_box(result, "The specified file, uztemp.zip is not found or not a ZIP file!", ["OK"])
        self.assertTrue((directory / "first.exe").exists())
        self.assertEqual(sorted(p.name for p in directory.iterdir()), ["first.exe", "stub.exe"])

    def test_damaged_archive_is_named_and_nothing_is_extracted(self):
        # Cut in its directory (found by the structure), and sealed by
        # mkinstaller with one bit changed in an entry (found by the seal).
        folder = self.work / "dist"
        (folder / "data").mkdir(parents=True)
        (folder / "SETUP.EXE").write_bytes(self.probe)
        (folder / "data" / "readme.txt").write_bytes(self.entries["data/readme.txt"])
        sealed = self.work / "sealed.exe"
        subprocess.run([self.mkinstaller, "--stub", str(self.stub), "--from", str(folder),
                        "--level", "0", "-o", str(sealed)], check=True)
        sealed_archive = bytearray(sealed.read_bytes()[self.stub.stat().st_size:])
        sealed_archive[sealed_archive.index(b"read me") + 3] ^= 0x01
        for case in ("cut", "sealed"):
            with self.subTest(case):
                directory = self.work / f"damaged-{case}"
                stub = self.place(directory)
                archive = directory / "uztemp.zip"
                if case == "cut":
                    data = archive.read_bytes()
                    archive.write_bytes(data[:data.rindex(b"PK\x01\x02") + 10])
                else:
                    archive.write_bytes(sealed_archive)
                result = self.bench.run(stub, ["123", "first.exe"])
                self.assertEqual(result.exit_code, 1, result.transcript)
                self.assertEqual(
                    [(b.caption, b.text, b.icon) for b in result.boxes],
                    [("Installer", f"The archive {windows_path(directory)}\\uztemp.zip is damaged "
                      "or incomplete.", "error")], result.transcript)
                self.assertEqual(sorted(p.name for p in directory.iterdir()),
                                 ["first.exe", "stub.exe", "uztemp.zip"])

    def test_rd_extracts_the_given_directory_without_a_question(self):
        out = self.work / "Out"
        stub = self.place(self.work / "stub")
        out.mkdir()
        shutil.copy(self.work / "payload.zip", out / "uztemp.zip")
        with self.subTest(target="given"):
            result = self.bench.run(stub, ["123", "RD", windows_path(out) + "\\"])
            self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
            self.assert_extracted(out)
            self.assertTrue((out / "uztemp.zip").exists())
            self.assertFalse(self.bench.wait_for_file(out / "probe-report.txt", 2))

        with self.subTest(target="current directory"):
            # The extraction moves the current directory into each entry's
            # directories; the relative archive and target still hold.
            current = self.work / "current"
            current.mkdir()
            archive = self.make_archive({"sub/deep.txt": b"below", "top.txt": b"on top"})
            archive.rename(current / "uztemp.zip")
            result = self.bench.run(stub, ["123", "RD"], cwd=current)
            self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
            self.assertEqual((current / "sub" / "deep.txt").read_bytes(), b"below")
            self.assertEqual((current / "top.txt").read_bytes(), b"on top")

        with self.subTest(archive="a finished installer"):
            # The stub's bytes lie in front of the archive, whose offsets
            # count from its own start.
            whole = self.work / "Whole"
            whole.mkdir()
            shutil.copy(stub, whole / "uztemp.zip")
            result = self.bench.run(stub, ["123", "RD", windows_path(whole) + "\\"])
            self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
            self.assert_extracted(whole)
            self.assertEqual((whole / "SETUP.EXE").read_bytes(), self.probe)

        # The install-directory field wins over the given directory, and the
        # archive's directory is scheduled for removal under its own name.
        pack = self.bench.drive_c() / "windows" / "temp" / "Pack"
        for field in ("<WINDIR>\\Temp\\Pack\\", "<windir>Temp\\Pack\\"):
            with self.subTest(install_dir=field):
                shutil.rmtree(pack, ignore_errors=True)
                self.addCleanup(shutil.rmtree, pack, ignore_errors=True)
                self.bench.reg_delete(RUN_ONCE_KEY, "Out.uni")
                stub = self.place(self.work / "stub", install_dir=field)
                result = self.bench.run(stub, ["123", "RD", windows_path(out) + "\\"])
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                self.assert_extracted(pack)
                self.assertEqual(self.bench.reg_query(RUN_ONCE_KEY, "Out.uni"),
                                 self.removal_command(self.temp_windows, windows_path(out) + "\\"))


class Remove(InstallerCase):
    def setUp(self):
        super().setUp()
        self.windows_temp = self.bench.drive_c() / "windows" / "temp"

    def plant(self, root, files):
        """Files (relative names) with content under `root`; removed after."""
        self.addCleanup(shutil.rmtree, root, ignore_errors=True)
        for name in files:
            (root / name).parent.mkdir(parents=True, exist_ok=True)
            (root / name).write_bytes(b"left behind")

    @staticmethod
    def hide(path, attributes):
        """Gives a file DOS attributes the way Wine keeps them (hidden 0x2,
        system 0x4): in the user.DOSATTRIB extended attribute."""
        os.setxattr(path, "user.DOSATTRIB", b"0x%x" % attributes)

    def test_removes_trees_below_windows_temp_only(self):
        tree = self.windows_temp / "orvane-remove"
        self.plant(tree, ["top.txt", "hidden.txt", "a/b/c/system.dat", "a/b/d/x.txt", "empty/.keep"])
        self.hide(tree / "hidden.txt", 0x2)
        self.hide(tree / "a" / "b" / "c" / "system.dat", 0x6)
        kept = self.windows_temp / "orvane-readonly"
        self.plant(kept, ["deep/er/locked.txt", "deep/other.txt", "gone/x.txt"])
        # Read-only, as Wine reads it: no write permission.
        (kept / "deep" / "er" / "locked.txt").chmod(0o444)

        stub = self.bench.deliverable("orvane_stub.exe")
        for directory in ("C:\\WINDOWS\\TEMP\\Orvane-Remove\\", "C:\\windows\\temp\\orvane-readonly\\"):
            result = self.bench.run(stub, ["REMOVE", directory])
            self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
        self.assertFalse(tree.exists())
        self.assertEqual(sorted(p.relative_to(kept).as_posix() for p in kept.rglob("*")),
                         ["deep", "deep/er", "deep/er/locked.txt"])

        # Elsewhere, the Temp directory itself, and no directory at all
        # (run from inside Temp): nothing goes.
        elsewhere = self.work / "elsewhere"
        self.plant(elsewhere, ["file.txt"])
        sentinel = self.windows_temp / "orvane-sentinel.txt"
        sentinel.write_bytes(b"stays")
        self.addCleanup(sentinel.unlink)
        for args in (["REMOVE", windows_path(elsewhere) + "\\"], ["REMOVE", "C:\\windows\\Temp\\"],
                     ["REMOVE"]):
            with self.subTest(args=args):
                result = self.bench.run(stub, args, cwd=self.windows_temp)
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                self.assertTrue((elsewhere / "file.txt").exists())
                self.assertTrue(sentinel.exists())

    def test_links_on_the_way_are_refused(self):
        # ilink, below Temp, links to a folder elsewhere: the text of the
        # path passes the guard, the path the file system takes does not.
        victim = self.work / "victim"
        self.plant(victim, ["sub/file.txt", "other.txt"])
        link = self.windows_temp / "ilink"
        link.symlink_to(victim)
        self.addCleanup(link.unlink)
        stub = self.bench.deliverable("orvane_stub.exe")
        for directory in ("C:\\windows\\Temp\\ilink\\sub\\", "C:\\windows\\Temp\\ilink\\sub"):
            result = self.bench.run(stub, ["REMOVE", directory])
            self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
            self.assertTrue((victim / "sub" / "file.txt").exists(), directory)

    def test_run_once_command_of_an_installation_removes_its_working_directory(self):
        # Under the Windows directory's Temp, and under the user's own
        # temporary directory as the prefix has it (C:\\users\\<user>\\Temp),
        # where installations work since Windows 2000.
        own = (self.user_temp, self.user_temp_windows[1] + "\\")
        for where in ("windows temp", "user temp"):
            with self.subTest(where=where):
                if where == "windows temp":
                    temp, temp_windows = self.use_temp("orvane-life", self.windows_temp,
                                                       "C:\\windows\\temp")
                else:
                    temp, temp_windows = own
                    self.bench.reg_add(ENVIRONMENT_KEY, "TEMP", *self.user_temp_windows)
                    self.addCleanup(shutil.rmtree, temp / "life", ignore_errors=True)
                before = {p.name for p in temp.iterdir()} - {"orvane_r.exe"}
                installer = self.make_installer("life.exe", {"SETUP.EXE": self.probe,
                                                             "sub/data.txt": b"data"})
                self.bench.reg_delete(RUN_ONCE_KEY, "life")
                result = self.bench.run(installer)
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                working = temp / "life"
                self.probe_report(working)
                self.assertTrue((working / "sub" / "data.txt").exists())

                # Split as a logon splits it: the quoted program, then its arguments.
                kind, command = self.bench.reg_query(RUN_ONCE_KEY, "life")
                program, arguments = command[1:].split('" ', 1)
                self.assertEqual(program, f"{temp_windows}orvane_r.exe")
                self.assertTrue(self.bench.wait_for_file(temp / "orvane_r.exe", 1))
                result = self.bench.run(temp / "orvane_r.exe", command_line=arguments)
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                self.assertFalse(working.exists())
                self.assertTrue((temp / "orvane_r.exe").exists())
                self.assertEqual({p.name for p in temp.iterdir()} - {"orvane_r.exe"}, before)

if __name__ == "__main__":
    run_tests()
