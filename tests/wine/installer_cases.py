"""What the end-to-end tests of finished installers share: a test case that
makes installers with mkinstaller from the deliverable stub (the bench's
width: build/win32 where 32-bit programs run), points the user's
TEMP (HKCU\\Environment) at directories of its own and puts it back after,
and reads what the installers left: the setup probe's report and the
registry entries.

Needs the bench fixture's environment and ORVANE_MKINSTALLER. Standard
library only.
"""

import os
import shutil
import struct
import subprocess
import tempfile
import unittest
import zipfile
from pathlib import Path

from winebench import Bench, read_probe_report

ENVIRONMENT_KEY = "HKCU\\Environment"
RUN_ONCE_KEY = "HKCU\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
UNINSTALL_KEY = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\orvane_stub"


class InstallerCase(unittest.TestCase):
    width = None  # the bench's; 64 pins the x86_64 build

    @classmethod
    def setUpClass(cls):
        cls.bench = Bench.from_environment(cls.width)
        cls.stub = cls.bench.deliverable("orvane_stub.exe")
        cls.probe = cls.bench.win64("setup_probe.exe").read_bytes()
        cls.mkinstaller = os.environ["ORVANE_MKINSTALLER"]
        cls.user_temp = cls.bench.user_temp()
        cls.user_temp_windows = cls.bench.reg_query(ENVIRONMENT_KEY, "TEMP")

    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="installer-e2e-", dir=self.bench.dir))
        self.addCleanup(shutil.rmtree, self.work, ignore_errors=True)
        self.addCleanup(self.bench.reg_add, ENVIRONMENT_KEY, "TEMP", *self.user_temp_windows)

    def use_temp(self, name, base=None, base_windows=None):
        """Points TEMP at a fresh directory `name` in the user's temporary
        directory, or in `base` (Linux path; Windows spelling
        `base_windows`); returns (Linux path, Windows path with its
        backslash)."""
        if base is None:
            base, base_windows = self.user_temp, self.user_temp_windows[1]
        linux = base / name
        shutil.rmtree(linux, ignore_errors=True)
        linux.mkdir()
        self.addCleanup(shutil.rmtree, linux, ignore_errors=True)
        self.bench.reg_add(ENVIRONMENT_KEY, "TEMP", "REG_SZ", f"{base_windows}\\{name}")
        return linux, f"{base_windows}\\{name}\\"

    def make_archive(self, entries, corrupt=()):
        """A ZIP archive in the work directory holding `entries` (name ->
        bytes, in that order; None makes a directory entry), deflated; the
        entries named in `corrupt` get a wrong CRC in their local header."""
        archive = self.work / "payload.zip"
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            for entry, data in entries.items():
                z.writestr(entry if data is not None else entry + "/", data or b"")
        data = bytearray(archive.read_bytes())
        with zipfile.ZipFile(archive) as z:
            for info in z.infolist():
                if info.filename in corrupt:
                    data[info.header_offset + 14] ^= 0xFF
        archive.write_bytes(data)
        return archive

    def make_installer(self, name, entries, setup=None, corrupt=(), install_dir=None, stub=None):
        """The installer `name` in the work directory, with the archive of
        make_archive appended; `setup` and `install_dir` fill those fields;
        `stub` replaces the deliverable."""
        return self.installer_of(name, self.make_archive(entries, corrupt), setup, install_dir, stub)

    def installer_of(self, name, archive, setup=None, install_dir=None, stub=None):
        """The installer `name` in the work directory, with `archive` appended."""
        installer = self.work / name
        command = [self.mkinstaller, "--stub", str(stub or self.stub), "--archive", str(archive),
                   "-o", str(installer)]
        command += ["--setup", setup] if setup else []
        command += ["--install-dir", install_dir] if install_dir else []
        subprocess.run(command, check=True)
        return installer

    def probe_report(self, directory):
        # A generous wait: it only runs out when something is wrong, and a
        # loaded machine can take long to start a Wine process.
        if not self.bench.wait_for_file(directory / "probe-report.txt", 60):
            found = sorted(str(p.relative_to(directory)) for p in directory.rglob("*")) \
                if directory.is_dir() else "no such directory"
            self.fail(f"the setup program did not run in {directory}; it holds {found}")
        return read_probe_report(directory)

    def stub_part(self, installer):
        """The stub's bytes of `installer` (a plain one: no resources rebuilt)
        as the uninstaller copy holds them: without the checksum and the
        certificate table's entry of its headers."""
        stub = bytearray(installer.read_bytes()[:self.stub.stat().st_size])
        optional = struct.unpack_from("<I", stub, 0x3C)[0] + 24
        entry = optional + (128 if struct.unpack_from("<H", stub, optional)[0] == 0x10B else 144) + 32
        stub[optional + 64:optional + 68] = bytes(4)
        stub[entry:entry + 8] = bytes(8)
        return bytes(stub)

    def removal_command(self, temp_windows, directory_windows):
        return ("REG_SZ", f'"{temp_windows}orvane_r.exe" REMOVE "{directory_windows}"')

    def assert_registered(self, temp_windows, entry_name, working_windows):
        self.assertEqual(self.bench.reg_query(RUN_ONCE_KEY, entry_name),
                         self.removal_command(temp_windows, working_windows))
        self.assertEqual(self.bench.reg_query(UNINSTALL_KEY, "DisplayName"), ("REG_SZ", "Orvane Stub"))
        self.assertEqual(self.bench.reg_query(UNINSTALL_KEY, "UninstallString"),
                         ("REG_SZ", f'"{temp_windows}orvane_r.exe" VREMOVE'))
