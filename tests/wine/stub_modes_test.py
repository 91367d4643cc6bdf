"""End-to-end tests of the stub's modes under the Wine bench: what a person
sees (through the UI robot), the exit code, and the file system."""

import os
import shutil
import tempfile
import unittest
from pathlib import Path

from winebench import Bench, run_tests


def snapshot(root: Path):
    """Every path under `root` with its size and modification time."""
    return {(str(p.relative_to(root)), p.stat().st_size, p.stat().st_mtime_ns)
            for p in root.rglob("*")}


class StubModes(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.bench = Bench.from_environment()
        cls.stub = cls.bench.deliverable("orvane_stub.exe")

    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="stub_modes_", dir=self.bench.dir))
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)

    def copy_stub(self, name="orvane_stub.exe", append=b""):
        data = self.stub.read_bytes()
        path = self.work / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data + append)
        return path

    def test_size_reports_file_size_plus_one(self):
        result = self.bench.run(self.stub, ["SIZE"], answers=["OK"])
        self.assertEqual(result.exit_code, 0, result.transcript)
        self.assertEqual(len(result.boxes), 1, result.transcript)
        box = result.boxes[0]
        self.assertEqual(box.caption, "Dialog")
        self.assertEqual(box.text, str(self.stub.stat().st_size + 1))
        self.assertEqual(box.icon, "information")
        self.assertEqual(box.buttons, ["OK"])

    def test_size_measures_the_running_file_with_its_payload(self):
        # A finished installer (stub plus archive) in a directory with blanks:
        # the size is its own file's, whatever the command line called it.
        installer = self.copy_stub("my setups/My Installer.exe", append=b"PK\3\4" + bytes(4000))
        result = self.bench.run(installer, ["SIZE"], answers=["OK"])
        self.assertEqual(result.exit_code, 0, result.transcript)
        self.assertEqual([b.text for b in result.boxes], [str(installer.stat().st_size + 1)])

    def test_arguments_come_from_the_raw_command_line(self):
        # The stub splits GetCommandLineA itself: a pair of quotes before the
        # word, and quoted stretches inside it, still give SIZE.
        for raw in ('""SIZE', '"" SIZE', 'S"IZ"E', '"SIZE"'):
            with self.subTest(raw=raw):
                result = self.bench.run(self.stub, command_line=raw, answers=["OK"])
                self.assertEqual([b.caption for b in result.boxes], ["Dialog"], result.transcript)
        self.assert_installs(self.bench.run(self.stub, command_line='"SIZE "'))

    def assert_installs(self, result):
        # The bare stub carries no archive: its installation carves an empty
        # one and says the installer is incomplete.
        self.assertEqual(result.exit_code, 1, result.transcript)
        self.assertEqual([(b.caption, b.text) for b in result.boxes],
                         [("Installer", "This installer is damaged or incomplete. "
                                        "Please download it again.")], result.transcript)

    def test_size_in_other_cases_installs(self):
        for word in ("size", "Size"):
            with self.subTest(word=word):
                self.assert_installs(self.bench.run(self.stub, [word]))

    def test_vremove_in_any_case_ends_at_once_touching_nothing(self):
        stub = self.copy_stub()
        users = self.bench.drive_c() / "users"
        before = (snapshot(self.work), snapshot(users))
        for word in ("VREMOVE", "vremove", "VrEmOvE"):
            with self.subTest(word=word):
                result = self.bench.run(stub, [word], cwd=self.work)
                self.assertEqual(result.exit_code, 0, result.transcript)
                self.assertEqual(result.boxes, [], result.transcript)
        self.assertEqual((snapshot(self.work), snapshot(users)), before)


if __name__ == "__main__":
    run_tests()
