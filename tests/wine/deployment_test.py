"""Installers as deployment tools run them, under the Wine bench: started
with switches, waited for, judged by their exit code. An installer built
with --wait --pass-arguments hands its arguments on, waits for the setup
program, returns its exit code and leaves nothing behind; a failed
extraction (a full disk) is no success; the uninstaller copy is the stub
alone, also for a signed installer.

The setup probe sleeps, exits with a code of its own and writes its report
outside the working directory when its environment asks (SETUP_PROBE_*).
Run by ctest inside the bench fixture (ORVANE_BENCH_DIR, ORVANE_WIN64_DIR,
ORVANE_WIN32_DIR and ORVANE_MKINSTALLER set). Standard library only.
"""

import os
import shutil
import subprocess
import time

from installer_cases import RUN_ONCE_KEY, InstallerCase
from installer_test import make_test_certificates
from winebench import read_probe_report, run_tests, windows_path

DAMAGED = "This installer is damaged or incomplete. Please download it again."


class Deployment(InstallerCase):
    def packed(self, name, files, *options):
        """The installer `name`, packed from a folder of `files` with the
        builder's `options`."""
        folder = self.work / f"{name}.d"
        for file, data in files.items():
            (folder / file).parent.mkdir(parents=True, exist_ok=True)
            (folder / file).write_bytes(data)
        installer = self.work / name
        subprocess.run([self.mkinstaller, "--stub", str(self.stub), "--from", str(folder),
                        *options, "-o", str(installer)], check=True)
        return installer

    def probe_environment(self, sleep_ms, exit_code):
        report = self.work / f"report-{sleep_ms}-{exit_code}"
        report.mkdir()
        return report, {"SETUP_PROBE_SLEEP": str(sleep_ms), "SETUP_PROBE_EXIT": str(exit_code),
                        "SETUP_PROBE_REPORT": windows_path(report) + "\\"}

    def test_a_deployment_tool_gets_the_setup_programs_exit_code(self):
        temp, _ = self.use_temp("e2e-deploy")
        files = {"SETUP.EXE": self.probe, "data/app.txt": b"the application\r\n" * 1000}
        waiting = self.packed("inst.exe", files, "--wait", "--pass-arguments")
        report, env = self.probe_environment(2000, 3010)
        self.bench.reg_delete(RUN_ONCE_KEY, "inst")
        result = self.bench.run(waiting, command_line="/S /D=x", env=env, timeout=60)
        self.assertEqual((result.exit_code, result.boxes), (3010, []), result.transcript)
        # The setup program had ended (its report written last) before the
        # installer did.
        self.assertTrue((report / "probe-report.txt").exists())
        self.assertTrue(read_probe_report(report)["command"].endswith('SETUP.EXE" /S /D=x'))
        self.assertEqual([p.name for p in temp.iterdir()], ["orvane_r.exe"])
        self.assertIsNone(self.bench.reg_query(RUN_ONCE_KEY, "inst"))

        # Without the options: ended at once, the arguments not passed on,
        # the working directory left to its removal at the next logon.
        plain = self.packed("plain.exe", files)
        report, env = self.probe_environment(8000, 3010)
        started = time.monotonic()
        result = self.bench.run(plain, command_line="/S /D=x", env=env, timeout=60)
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
        self.assertFalse((report / "probe-report.txt").exists(),
                         f"the installer waited {time.monotonic() - started:.1f} s")
        self.assertTrue(self.bench.wait_for_file(report / "probe-report.txt", 60))
        self.assertTrue(read_probe_report(report)["command"].endswith('SETUP.EXE"'))
        self.assertTrue((temp / "plain" / "data" / "app.txt").exists())

    def test_a_full_disk_ends_the_run_with_one_box_and_nothing_left(self):
        small = self.bench.drive_c() / "smalltemp"
        small.mkdir(exist_ok=True)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=3m", "tmpfs", str(small)],
                                 capture_output=True, text=True)
        if mounted.returncode != 0:
            small.rmdir()
            self.skipTest(f"no small disk to fill: mounting a tmpfs failed: {mounted.stderr.strip()}")
        self.addCleanup(small.rmdir)
        self.addCleanup(subprocess.run, ["umount", str(small)], check=True)
        temp, _ = self.use_temp("full", small, "C:\\smalltemp")
        files = {"SETUP.EXE": self.probe, "a.bin": os.urandom(1 << 20),
                 "b.bin": os.urandom(4 << 20)}
        files.update({f"more/{i}.txt": b"more" for i in range(28)})
        installer = self.packed("full.exe", files)
        self.bench.reg_delete(RUN_ONCE_KEY, "full")
        result = self.bench.run(installer, answers=["OK"] * 3)
        self.assertEqual(result.exit_code, 1603, result.transcript)
        self.assertEqual([b.text for b in result.boxes], ["Write error! on b.bin (the disk is full)"],
                         result.transcript)
        self.assertEqual(list(temp.iterdir()), [])
        self.assertIsNone(self.bench.reg_query(RUN_ONCE_KEY, "full"))

    def test_uninstaller_copy_is_the_stub_alone(self):
        for tool in ("osslsigncode", "openssl"):
            self.assertTrue(shutil.which(tool), f"{tool} is missing: run scripts/setup.sh")
        keys = self.work / "keys"
        make_test_certificates(keys, extra=0)
        unsigned = self.packed("big.exe", {"SETUP.EXE": self.probe, "data.bin": os.urandom(20 << 20)})
        signed = self.work / "signedbig.exe"
        subprocess.run(["osslsigncode", "sign", "-certs", keys / "publisher.pem", "-key",
                        keys / "publisher.key", "-in", unsigned, "-out", signed],
                       check=True, capture_output=True)
        objdump = shutil.which("x86_64-w64-mingw32-objdump") or "objdump"
        for installer in (unsigned, signed):
            with self.subTest(installer=installer.name):
                temp, temp_windows = self.use_temp(f"e2e-{installer.stem}")
                result = self.bench.run(installer, timeout=120)
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                working = temp / installer.stem
                self.probe_report(working)
                copy = temp / "orvane_r.exe"
                self.assertEqual(copy.stat().st_size, self.stub.stat().st_size)
                headers = subprocess.run([objdump, "-p", copy], capture_output=True, text=True)
                self.assertEqual(headers.returncode, 0, headers.stderr)
                self.assertRegex(headers.stdout, r"Entry 4 0+ 0+ Security Directory")
                verified = subprocess.run(["osslsigncode", "verify", "-in", copy],
                                          capture_output=True, text=True)
                self.assertIn("No signature found", verified.stdout + verified.stderr)

                result = self.bench.run(copy, answers=["OK"])
                self.assertEqual((result.exit_code, [b.text for b in result.boxes]), (1, [DAMAGED]),
                                 result.transcript)
                result = self.bench.run(copy, ["REMOVE", f"{temp_windows}{installer.stem}\\"])
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                self.assertFalse(working.exists())


if __name__ == "__main__":
    run_tests()
