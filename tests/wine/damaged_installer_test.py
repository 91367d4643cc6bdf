"""End-to-end tests of damaged and incomplete installers under the Wine
bench: a sealed installer (mkinstaller --from) cut at several places or
with one bit or seal digit changed must say so before it writes anything,
leave nothing behind, register and start nothing, and exit with 1; an
unsealed installer from an archive made by zip still installs.

Run by ctest inside the bench fixture (ORVANE_BENCH_DIR, ORVANE_WIN64_DIR,
ORVANE_WIN32_DIR and ORVANE_MKINSTALLER set). Standard library only.
"""

import random
import shutil
import subprocess
import zipfile

from installer_cases import RUN_ONCE_KEY, UNINSTALL_KEY, InstallerCase
from winebench import run_tests

DAMAGED = "This installer is damaged or incomplete. Please download it again."
SEAL_LENGTH = 44  # "orvane-seal crc32=XXXXXXXX length=NNNNNNNNNN"


class DamagedInstaller(InstallerCase):
    def reg(self, *args):
        """`reg ARGS` in both registry views (the 32-bit reg.exe sees only
        its own); True when either succeeded."""
        return any([self.bench._wine([wine, "reg", *args])[0] == 0
                    for wine in ("wine", "/usr/lib/wine/wine64")])

    def sealed_installer(self, name):
        folder = self.work / "dist"
        rng = random.Random(5)
        files = {"SETUP.EXE": self.probe, "data/noise.bin": rng.randbytes(20000),
                 "data/text.txt": b"a line of text\r\n" * 5000}
        for file, data in files.items():
            (folder / file).parent.mkdir(parents=True, exist_ok=True)
            (folder / file).write_bytes(data)
        installer = self.work / name
        subprocess.run([self.mkinstaller, "--stub", str(self.stub), "--from", str(folder),
                        "-o", str(installer)], check=True)
        return installer

    def test_damage_anywhere_is_found_before_anything_is_written(self):
        good = self.sealed_installer("good.exe")
        data = good.read_bytes()
        stub_size = self.stub.stat().st_size
        with zipfile.ZipFile(good) as z:
            entries = {info.filename: info for info in z.infolist()}
        first = min(entries.values(), key=lambda info: info.header_offset)
        text = entries["data/text.txt"]
        self.assertEqual(text.compress_type, zipfile.ZIP_DEFLATED)
        text_data = text.header_offset + 30 + len(text.filename)
        directory = data.rindex(b"PK\x01\x02")

        def flipped(at, mask):
            damaged = bytearray(data)
            damaged[at] ^= mask
            return bytes(damaged)

        cases = {
            "cut after the stub": data[:stub_size],
            "cut in the first entry": data[:first.header_offset + 40],
            "cut in the directory": data[:directory + 20],
            "one byte short": data[:-1],
            "one bit in deflated data": flipped(text_data + text.compress_size // 2, 0x08),
            "a digit of the seal": flipped(len(data) - SEAL_LENGTH + 20, 0x01),
        }
        for case, damaged in cases.items():
            with self.subTest(case):
                temp, _ = self.use_temp("e2e-damaged")
                installer = self.work / "damaged.exe"
                installer.write_bytes(damaged)
                self.reg("delete", RUN_ONCE_KEY, "/v", "damaged", "/f")
                self.reg("delete", UNINSTALL_KEY, "/f")

                result = self.bench.run(installer)
                self.assertEqual(result.exit_code, 1, result.transcript)
                self.assertEqual([(b.caption, b.text, b.icon) for b in result.boxes],
                                 [("Installer", DAMAGED, "error")], result.transcript)
                # The status window was gone when the box came up.
                self.assertFalse(any(s.visible for s in result.boxes[0].status_windows),
                                 result.transcript)
                self.assertEqual(list(temp.iterdir()), [])
                self.assertFalse(self.reg("query", RUN_ONCE_KEY, "/v", "damaged"))
                self.assertFalse(self.reg("query", UNINSTALL_KEY))

    def test_an_existing_working_directory_stays(self):
        temp, _ = self.use_temp("e2e-damaged-kept")
        (temp / "kept").mkdir()
        installer = self.work / "kept.exe"
        installer.write_bytes(self.sealed_installer("good.exe").read_bytes()[:-1])
        result = self.bench.run(installer)
        self.assertEqual(result.exit_code, 1, result.transcript)
        self.assertEqual([p.name for p in temp.iterdir()], ["kept"])
        self.assertEqual(list((temp / "kept").iterdir()), [])

    def test_unsealed_archive_made_by_zip_installs(self):
        self.assertTrue(shutil.which("zip"), "zip is missing: run scripts/setup.sh")
        temp, _ = self.use_temp("e2e-unsealed")
        folder = self.work / "dist"
        (folder / "docs").mkdir(parents=True)
        (folder / "SETUP.EXE").write_bytes(self.probe)
        (folder / "docs" / "readme.txt").write_bytes(b"made by zip\r\n" * 1000)
        archive = self.work / "payload.zip"
        subprocess.run(["zip", "-qr", str(archive), "."], cwd=folder, check=True)
        installer = self.installer_of("unsealed.exe", archive)
        inspected = subprocess.run([self.mkinstaller, "--inspect", installer],
                                   capture_output=True, text=True)
        self.assertIn("seal: none", inspected.stdout)
        self.assertEqual(inspected.returncode, 0, inspected.stderr)
        self.reg("delete", UNINSTALL_KEY, "/f")

        result = self.bench.run(installer)
        self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
        working = temp / "unsealed"
        self.probe_report(working)
        self.assertTrue(self.reg("query", UNINSTALL_KEY))  # what the damaged runs must not write
        self.assertEqual((working / "docs" / "readme.txt").read_bytes(), b"made by zip\r\n" * 1000)


if __name__ == "__main__":
    run_tests()
