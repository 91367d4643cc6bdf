"""The bench's own helpers under Wine: the setup probe run by the robot and
its report, the registry helpers and the per-program Windows version; and
the rounds of bench/bench.py's installer section."""

import shutil
import sys
import tempfile
import unittest
from pathlib import Path

from winebench import Bench, read_probe_report, windows_path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bench"))
from bench import Installer, alternate  # noqa: E402

TEST_KEY = "HKLM\\SOFTWARE\\orvane bench test"


class BenchHelpers(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.bench = Bench.from_environment()
        cls.probe = cls.bench.win64("setup_probe.exe")

    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="bench_helpers_", dir=self.bench.dir))
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)

    def run_probe(self, probe, args=(), cwd=None):
        result = self.bench.run(probe, args, cwd=cwd)
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
        self.assertTrue(self.bench.wait_for_file(probe.parent / "probe-report.txt", 10))
        return read_probe_report(probe.parent)

    def test_probe_reports_beside_itself_what_it_was_started_with(self):
        # The report lands beside the program, not in the current directory,
        # and replaces an earlier one.
        probe = self.work / "publisher setup" / "setup.exe"
        probe.parent.mkdir()
        shutil.copyfile(self.probe, probe)
        (probe.parent / "probe-report.txt").write_text("program=stale\n")
        elsewhere = self.work / "current dir"
        elsewhere.mkdir()
        report = self.run_probe(probe, ["/S", "two words"], cwd=elsewhere)
        self.assertEqual(report["program"].lower(), windows_path(probe).lower())
        self.assertEqual(report["command"], f'"{windows_path(probe)}" /S "two words"')
        self.assertEqual(report["directory"].lower(), windows_path(elsewhere).lower())
        self.assertEqual(sorted(p.name for p in probe.parent.iterdir()),
                         ["probe-report.txt", "setup.exe"])

    def test_windows_version_per_program(self):
        probe = self.work / "setup_probe.exe"
        shutil.copyfile(self.probe, probe)
        self.addCleanup(self.bench.set_windows_version, probe.name, None)
        self.bench.set_windows_version(probe.name, "winxp")
        self.assertEqual(self.run_probe(probe)["version"], "5.1.2600")
        self.bench.set_windows_version(probe.name, None)
        self.assertEqual(self.run_probe(probe)["version"], "6.1.7601")

    def test_registry_round_trip_keeps_blanks_and_backslashes(self):
        self.addCleanup(self.bench.reg_delete, TEST_KEY)
        data = "C:\\Program Files\\My  App\\setup.exe /x \"C:\\My Dir\\\" "
        self.bench.reg_add(TEST_KEY, "Remove it", "REG_SZ", data)
        self.bench.reg_add(TEST_KEY, "Remove", "REG_DWORD", "17")
        self.assertEqual(self.bench.reg_query(TEST_KEY, "Remove it"), ("REG_SZ", data))
        self.assertEqual(self.bench.reg_query(TEST_KEY, "Remove"), ("REG_DWORD", "0x11"))
        self.assertTrue(self.bench.reg_delete(TEST_KEY, "Remove it"))
        self.assertIsNone(self.bench.reg_query(TEST_KEY, "Remove it"))
        self.assertTrue(self.bench.reg_delete(TEST_KEY))
        self.assertIsNone(self.bench.reg_query(TEST_KEY, "Remove"))
        self.assertFalse(self.bench.reg_delete(TEST_KEY))

    def test_user_temp_is_where_the_prefix_puts_temp(self):
        # A new prefix sets TEMP to C:\users\<user>\Temp.
        temp = self.bench.user_temp()
        kind, data = self.bench.reg_query("HKCU\\Environment", "TEMP")
        self.assertEqual(data.lower(), f"c:\\users\\{temp.parent.name}\\temp".lower())
        self.assertTrue(temp.is_dir())


class InstallerRounds(unittest.TestCase):
    def test_every_round_runs_each_installer_once_under_its_own_name(self):
        # A row timing another row's installer once made NSIS with its
        # window pass for the silent NSIS.
        names = ("orvane", "NSIS silent", "NSIS window")
        installers = [Installer(name, Path(f"{name}.exe"), Path(name), None) for name in names]
        ran = []
        results = alternate(installers, 3, lambda i: ran.append(i.name) or i.exe.name)
        self.assertEqual(results, {name: [f"{name}.exe"] * 3 for name in names})
        # Each round starts one further on, so no installer always follows the same one.
        self.assertEqual(ran[:6], ["orvane", "NSIS silent", "NSIS window",
                                   "NSIS silent", "NSIS window", "orvane"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
