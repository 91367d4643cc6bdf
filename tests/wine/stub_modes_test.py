"""End-to-end tests of the stub's modes under the Wine bench: what a person
sees (through the UI robot), the exit code, and the file system."""

import os
import shutil
import tempfile
import unittest
from pathlib import Path

from winebench import Bench


def snapshot(root: Path):
    """Every path under `root` with its size and modification time."""
    return {(str(p.relative_to(root)), p.stat().st_size, p.stat().st_mtime_ns)
            for p in root.rglob("*")}


class StubModes(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.bench = Bench.from_environment()
        cls.stub = cls.bench.win64("orvane_stub.exe")

    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="stub_modes_", dir=self.bench.dir))
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)

    def copy_stub(self, name="orvane_stub.exe", patch=None, append=b""):
        data = self.stub.read_bytes()
        if patch:
            old, new = patch
            self.assertEqual(len(old), len(new))
            self.assertEqual(data.count(old), 1)
            data = data.replace(old, new)
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

    def test_size_in_other_cases_shows_nothing(self):
        for word in ("size", "Size"):
            with self.subTest(word=word):
                result = self.bench.run(self.stub, [word])
                self.assertEqual(result.exit_code, 0, result.transcript)
                self.assertEqual(result.boxes, [], result.transcript)

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

    def test_broken_stub_size_field_ends_with_application_error(self):
        stub = self.copy_stub(patch=(b"0279041", b"12x4567"))
        result = self.bench.run(stub, [], answers=["OK"])
        self.assertEqual(result.exit_code, 1, result.transcript)
        self.assertEqual(len(result.boxes), 1, result.transcript)
        box = result.boxes[0]
        self.assertEqual(box.caption, "Application Error")
        self.assertIn("12x4567", box.text)
        self.assertEqual(box.icon, "error")
        self.assertEqual(box.buttons, ["OK"])

    def test_patched_stub_size_field_is_read_at_run_time(self):
        # A valid patched value runs on without a word; the unpatched file
        # would also pass, so pair it with a broken value in the same place.
        good = self.copy_stub("good.exe", patch=(b"0279041", b"0016385"))
        self.assertEqual(self.bench.run(good, []).boxes, [])
        bad = self.copy_stub("bad.exe", patch=(b"0279041", b"0016 85"))
        self.assertEqual(self.bench.run(bad, [], answers=["OK"]).exit_code, 1)


if __name__ == "__main__":
    unittest.main(verbosity=2)
