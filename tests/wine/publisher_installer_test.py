"""End-to-end test of an installer with every publisher's option set (icon,
version information, elevation level, setup arguments), checked with what
Windows itself reads from it (build/win64/resource_reader.exe, through
GetFileVersionInfoA, VerQueryValueA and ExtractIconExA), then signed with a
test CA, verified with osslsigncode, and installed under Wine.

Run by ctest inside the bench fixture (ORVANE_BENCH_DIR, ORVANE_WIN64_DIR,
ORVANE_WIN32_DIR and ORVANE_MKINSTALLER set). Standard library only.
"""

import shutil
import subprocess
import sys
from pathlib import Path

from installer_cases import RUN_ONCE_KEY, InstallerCase
from installer_test import make_test_certificates
from winebench import run_tests, windows_path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tools"))
from mkinstaller_test import bitmap_image, icon_file, png_image  # noqa: E402

SETUP = "My Setup.exe /S /lang=en"
# The reader prints in the ANSI code page, 1252 here: these values stay in it.
VERSION = {"FileDescription": "Ørvane Demo Setup", "ProductName": "Ørvane Demo",
           "CompanyName": "Example Ltd.", "LegalCopyright": "© 2024 Example Ltd.",
           "FileVersion": "1.2.3.4", "ProductVersion": "2.5 beta",
           "OriginalFilename": "setup.exe"}
# What the reader prints for them: the strings in its order of fields.
READER_FIELDS = ("FileDescription", "ProductName", "CompanyName", "LegalCopyright", "FileVersion",
                 "ProductVersion", "OriginalFilename", "InternalName", "Comments")
EXPECTED = (["translation=040904b0"]
            + [f"string {name}={VERSION[name]}" for name in READER_FIELDS if name in VERSION]
            + ["fixed file=1.2.3.4", "fixed product=2.5.0.0", "icons=1", "large=1 small=1"])


class PublisherInstaller(InstallerCase):
    def build(self):
        """The installer publisher.exe, packed from a folder with every
        option; `highestAvailable` asks for nothing under Wine, which has no
        elevation prompt, so the run below is not held up by it."""
        folder = self.work / "dist"
        (folder / "data").mkdir(parents=True)
        (folder / "My Setup.exe").write_bytes(self.probe)
        (folder / "My.exe").write_bytes(self.probe)
        (folder / "data" / "readme.txt").write_bytes(b"read me\r\n" * 100)
        icon = self.work / "app.ico"
        icon.write_bytes(icon_file([(16, bitmap_image(16, 1)), (32, bitmap_image(32, 2)),
                                    (48, bitmap_image(48, 3)), (256, png_image(256))]))
        installer = self.work / "publisher.exe"
        command = [self.mkinstaller, "--stub", str(self.stub), "--from", str(folder), "--setup", SETUP,
                   "--icon", str(icon), "--elevation", "highestAvailable", "-o", str(installer)]
        for key, value in VERSION.items():
            command += ["--version-info", f"{key}={value}"]
        subprocess.run(command, check=True)
        return folder, installer

    def read_resources(self, installer):
        code, out, err = self.bench._wine(["wine", str(self.bench.win64("resource_reader.exe")),
                                           windows_path(installer)])
        self.assertEqual(code, 0, out + err)
        return out.splitlines()

    def test_windows_reads_what_was_asked_and_the_signed_installer_installs(self):
        for tool in ("osslsigncode", "openssl"):
            self.assertTrue(shutil.which(tool), f"{tool} is missing: run scripts/setup.sh")
        temp, temp_windows = self.use_temp("e2e-publisher")
        folder, unsigned = self.build()
        self.assertEqual(self.read_resources(unsigned), EXPECTED)

        keys = self.work / "keys"
        make_test_certificates(keys, extra=0)
        installer = self.work / "signed.exe"
        subprocess.run(["osslsigncode", "sign", "-certs", keys / "publisher.pem",
                        "-key", keys / "publisher.key", "-n", "Orvane test", "-in", unsigned,
                        "-out", installer], check=True, capture_output=True)
        verified = subprocess.run(["osslsigncode", "verify", "-CAfile", keys / "ca.pem",
                                   "-in", installer], capture_output=True, text=True)
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
        self.assertIn("Signature verification: ok", verified.stdout)
        self.assertEqual(self.read_resources(installer), EXPECTED)

        self.bench.reg_delete(RUN_ONCE_KEY, "signed")
        result = self.bench.run(installer)
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
        working = temp / "signed"
        report = self.probe_report(working)
        program = f"{temp_windows}signed\\My Setup.exe"
        self.assertEqual(report["program"], program)
        self.assertEqual(report["command"], f'"{program}" /S /lang=en')
        for name in ("My Setup.exe", "My.exe", "data/readme.txt"):
            self.assertEqual((working / name).read_bytes(), (folder / name).read_bytes(), name)


if __name__ == "__main__":
    run_tests()
