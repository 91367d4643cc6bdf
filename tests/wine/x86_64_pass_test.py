"""The x86_64 build of the stub, kept honest by one short pass beside the
32-bit deliverable that the other Wine tests run: a complete installation,
whose HKLM entry lands in the 64-bit registry view, and a "123 RD"
extraction.

Run by ctest inside the bench fixture (ORVANE_BENCH_DIR, ORVANE_WIN64_DIR,
ORVANE_WIN32_DIR and ORVANE_MKINSTALLER set). Standard library only.
"""

import unittest

from installer_cases import RUN_ONCE_KEY, UNINSTALL_KEY, InstallerCase
from winebench import run_tests, windows_path

class X86_64Stub(InstallerCase):
    width = 64

    def test_installs_into_the_64_bit_registry_view(self):
        temp, temp_windows = self.use_temp("e2e-x86_64")
        entries = {"SETUP.EXE": self.probe, "sub/data.bin": bytes(range(256)) * 999}
        installer = self.make_installer("wide.exe", entries)
        self.bench.reg_delete(RUN_ONCE_KEY, "wide")
        self.addCleanup(self.bench.reg_delete, RUN_ONCE_KEY, "wide")
        wow64_uninstall = UNINSTALL_KEY.replace("SOFTWARE", "SOFTWARE\\Wow6432Node")
        self.bench.reg_delete(wow64_uninstall)

        result = self.bench.run(installer)
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
        working = temp / "wide"
        self.assertEqual((working / "sub" / "data.bin").read_bytes(), entries["sub/data.bin"])
        self.assertEqual(self.probe_report(working)["program"], f"{temp_windows}wide\\SETUP.EXE")
        self.assert_registered(temp_windows, "wide", f"{temp_windows}wide\\")
        self.assertIsNone(self.bench.reg_query(wow64_uninstall, "DisplayName"))

    def test_extracts_beside_with_rd(self):
        out = self.work / "Out"
        out.mkdir()
        self.make_archive({"SETUP.EXE": self.probe, "a/b.txt": b"b" * 5000}).rename(out / "uztemp.zip")
        stub = self.installer_of("stub.exe", out / "uztemp.zip")
        result = self.bench.run(stub, ["123", "RD", windows_path(out) + "\\"])
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
        self.assertEqual((out / "a" / "b.txt").read_bytes(), b"b" * 5000)
        self.assertEqual((out / "SETUP.EXE").read_bytes(), self.probe)


if __name__ == "__main__":
    run_tests(64)
