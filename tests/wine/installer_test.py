"""End-to-end tests of a finished installer under the Wine bench: installers
made with mkinstaller from the win64 stub, run through the UI robot as a
user would run them, with the setup probe (build/win64/setup_probe.exe)
standing in for the publisher's setup program. Each test points the user's
TEMP (HKCU\\Environment) at a directory of its own and puts it back after.

Run by ctest inside the bench fixture (ORVANE_BENCH_DIR, ORVANE_WIN64_DIR
and ORVANE_MKINSTALLER set). Standard library only.
"""

import csv
import os
import random
import shutil
import struct
import subprocess
import time
import unittest
import zlib
import zipfile
from pathlib import Path

from installer_cases import RUN_ONCE_KEY, InstallerCase


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
        self.assertEqual((temp / "orvane_r.exe").read_bytes(), installer.read_bytes())
        self.assertEqual(sorted(p.name for p in temp.iterdir()), ["mysetup", "orvane_r.exe"])
        self.assert_registered(temp_windows, "mysetup", working_windows)

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
        result = self.bench.run(installer, answers=["OK"])
        self.assertEqual(result.exit_code, 0, result.transcript)
        self.assertEqual([b.text for b in result.boxes],
                         ["Write error! on " + "中文.txt".encode().decode("latin-1")])
        working = temp / "names"
        self.assertEqual((working / "Übersicht.txt").read_bytes(), b"code page 437")
        self.assertEqual((working / "Über" / "Ärger.txt").read_bytes(), b"utf-8")
        # The probe reports its directory in code page 1252, which Python
        # reads as Latin-1: the same characters here.
        report = self.probe_report(working)
        self.assertEqual(report["directory"], f"{temp_windows}names\\Über")
        self.assertEqual(sorted(p.name for p in working.iterdir()),
                         ["SETUP.EXE", "probe-report.txt", "Über", "Übersicht.txt"])

    def test_setup_starts_plainly_before_vista_and_elevated_after(self):
        # The elevated start asks the shell to expand environment references
        # in the path; the plain start does not. So the setup command
        # %ORVANE_HOW%.EXE starts RUNAS.EXE (ORVANE_HOW=RUNAS) when elevated,
        # and the file literally named %ORVANE_HOW%.EXE when plain.
        temp, temp_windows = self.use_temp("e2e-versions")
        entries = {"%ORVANE_HOW%.EXE": self.probe, "RUNAS.EXE": self.probe}
        for version, started in (("winxp", "%ORVANE_HOW%.EXE"), ("win7", "RUNAS.EXE"),
                                 ("win10", "RUNAS.EXE")):
            with self.subTest(version=version):
                name = f"v{version}.exe"
                installer = self.make_installer(name, entries, setup="%ORVANE_HOW%.EXE")
                self.bench.set_windows_version(name, version)
                self.addCleanup(self.bench.set_windows_version, name, None)
                result = self.bench.run(installer, env={"ORVANE_HOW": "RUNAS"})
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)
                working = temp / f"v{version}"
                report = self.probe_report(working)
                self.assertEqual(report["program"], f"{temp_windows}v{version}\\{started}")
                if version == "winxp":
                    self.assertEqual(report["command"], f'"{report["program"]}"')

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

    def test_crc_errors_are_shown_and_the_run_goes_on(self):
        temp, temp_windows = self.use_temp("e2e-crc")
        entries = {"SETUP.EXE": self.probe, "one.txt": b"one" * 1000, "two.txt": b"two" * 1000,
                   "three.txt": b"three" * 1000}
        installer = self.make_installer("crc.exe", entries, corrupt=("one.txt", "three.txt"))
        self.bench.reg_delete(RUN_ONCE_KEY, "crc")
        result = self.bench.run(installer, answers=["OK", "OK"])
        self.assertEqual(result.exit_code, 0, result.transcript)
        self.assertEqual([(b.caption, b.text) for b in result.boxes],
                         [("Installer", "CRC-Error!")] * 2, result.transcript)

        # Both status windows as the user saw them at each box: the copying
        # window hidden, the extraction window showing the entries reached.
        for box, percent in zip(result.boxes, (50, 100)):
            windows = {w.lines[0].text: w for w in box.status_windows}
            self.assertEqual(set(windows), {"Copying Files...", f"Extracting, {percent}% complete"})
            for text, window in windows.items():
                self.assertEqual(window.caption, "Installer")
                self.assertEqual(window.visible, text.startswith("Extracting"))
                self.assertEqual((window.rect.x, window.rect.y, window.rect.width, window.rect.height),
                                 (387, 359, 250, 75))
                line = window.lines[0]
                self.assertEqual(line.window_class.upper(), "STATIC")
                self.assertEqual((line.rect.x, line.rect.y, line.rect.width, line.rect.height),
                                 (15, 10, 250, 20))

        working = temp / "crc"
        self.probe_report(working)
        self.assertEqual(sorted(p.name for p in working.iterdir()),
                         ["SETUP.EXE", "probe-report.txt", "two.txt"])
        self.assert_registered(temp_windows, "crc", f"{temp_windows}crc\\")

    def test_earlier_files_are_cleared_only_below_a_temp_directory(self):
        for under_user_temp in (True, False):
            with self.subTest(under_user_temp=under_user_temp):
                base = None if under_user_temp else self.user_temp.parent
                base_windows = None if under_user_temp else self.user_temp_windows[1].rsplit("\\", 1)[0]
                temp, _ = self.use_temp(f"e2e-clean-{under_user_temp}", base, base_windows)
                working = temp / "clean"
                (working / "sub").mkdir(parents=True)
                (working / "old.txt").write_bytes(b"left by an earlier run")
                (working / "sub" / "keep.txt").write_bytes(b"in a subdirectory")
                installer = self.make_installer("clean.exe", {"SETUP.EXE": self.probe})
                result = self.bench.run(installer)
                self.assertEqual(result.exit_code, 0, result.transcript)
                self.probe_report(working)
                self.assertEqual((working / "old.txt").exists(), not under_user_temp)
                self.assertEqual((working / "sub" / "keep.txt").read_bytes(), b"in a subdirectory")

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
        temp, _ = self.use_temp("e2e-fail")
        installer = self.make_installer("fail.exe", {"SETUP.EXE": self.probe})
        data = installer.read_bytes()
        size_field = b"%07d" % (self.stub.stat().st_size + 1)
        broken_field = self.work / "field.exe"
        broken_field.write_bytes(data.replace(size_field, b"12x4567", 1))
        # A directory where the archive is to be carved into.
        (temp / "fail" / "uztemp.zip").mkdir(parents=True)
        for name, installer, words in (("field", broken_field, "12x4567"),
                                       ("fail", installer, "uztemp.zip")):
            with self.subTest(failure=name):
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
            self.skipTest(f"no corpus at {corpus}")
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
        temp, _ = self.use_temp("e2e-folder")
        rng = random.Random(11)
        files = {
            "SETUP.EXE": self.probe,
            "data/noise.bin": rng.randbytes(100000),
            "data/text.txt": b"".join(b"line %d\r\n" % i for i in range(20000)),
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
        installer = self.work / "fromdir.exe"
        subprocess.run([self.mkinstaller, "--stub", str(self.stub), "--from", str(folder),
                        "-o", str(installer)], check=True,
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
    unittest.main(verbosity=2)
