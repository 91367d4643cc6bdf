"""End-to-end tests of the engine's Win32 side: the deliverable width's extract.exe run
under the UI robot in the Wine bench (winebench.py), checking the boxes a
person would see, the exit code and the files that come out: stored and
deflated entries, the PKZIP corpus with every classic method, Info-ZIP
archives and a streamed entry
whose CRC follows in a data descriptor.

Run by ctest inside the bench fixture (ORVANE_BENCH_DIR, ORVANE_WIN64_DIR, ORVANE_WIN32_DIR
set), or by hand after `winebench.py start DIR`. ORVANE_CORPUS_DIR points at
the PKZIP corpus (skipped with a message when absent). Standard library only.
"""

import csv
import os
import random
import shutil
import stat
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from winebench import Bench, run_tests, windows_path  # noqa: E402

def crc_of(path: Path) -> int:
    return zlib.crc32(path.read_bytes()) & 0xFFFFFFFF


class ExtractUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.bench = Bench.from_environment()
        cls.tool = cls.bench.deliverable("extract.exe")

    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="extract-e2e-"))
        self.addCleanup(self._remove_work)

    def _remove_work(self):
        for root, dirs, files in os.walk(self.work):
            for name in dirs + files:
                os.chmod(os.path.join(root, name), 0o755)
        shutil.rmtree(self.work)

    def extract(self, archive: Path, target: Path, boxes_expected: int):
        result = self.bench.run(self.tool, [windows_path(archive), windows_path(target)],
                                answers=["OK"] * boxes_expected)
        for box in result.boxes:
            self.assertEqual(box.caption, "Installer", result.transcript)
            self.assertEqual(box.buttons, ["OK"], result.transcript)
        return result

    def texts(self, result):
        return [box.text for box in result.boxes]

    def extract_cleanly(self, archive: Path) -> Path:
        target = self.work / (archive.stem + "-out")
        result = self.extract(archive, target, 0)
        self.assertEqual(result.boxes, [], result.transcript)
        self.assertEqual(result.exit_code, 0, result.transcript)
        return target

    def corpus_dir(self) -> Path:
        corpus = Path(os.environ.get("ORVANE_CORPUS_DIR", ""))
        if not (corpus / "MANIFEST.tsv").is_file():
            self.skipTest(f"no reference archives at {corpus} (ORVANE_CORPUS_DIR)")
        return corpus

    def test_pkzip_corpus_every_entry_comes_out(self):
        corpus = self.corpus_dir()
        archives = {}
        with open(corpus / "MANIFEST.tsv", newline="") as f:
            for row in csv.DictReader(f, delimiter="\t"):
                archives.setdefault(row["archive"], []).append(row)
        for archive, entries in sorted(archives.items()):
            with self.subTest(archive=archive):
                target = self.work / Path(archive).stem
                result = self.extract(corpus / archive, target, 0)
                for row in entries:
                    out = target / row["entry"]
                    self.assertEqual(out.stat().st_size, int(row["size"]), row["entry"])
                    self.assertEqual(crc_of(out), int(row["crc32"], 16), row["entry"])
                self.assertEqual((result.exit_code, result.boxes), (0, []), result.transcript)

    def test_stored_tree_with_times_attributes_and_directories(self):
        archive = self.work / "tree.zip"
        stamp = (2020, 5, 17, 10, 30, 44)
        payload = bytes(range(256)) * 300  # 76800 bytes: three chunks
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_STORED) as z:
            z.writestr(zipfile.ZipInfo("docs/"), b"")
            info = zipfile.ZipInfo("docs/deep/data.bin", date_time=stamp)
            info.create_system = 0
            info.external_attr = 0x01  # read-only
            z.writestr(info, payload)
            z.writestr(zipfile.ZipInfo("readme.txt", date_time=stamp), b"read me\r\n")
        target = self.work / "out"
        (target).mkdir()
        existing = target / "readme.txt"
        existing.write_bytes(b"an older, read-only copy")
        existing.chmod(0o444)
        result = self.extract(archive, target, 0)
        self.assertEqual(result.exit_code, 0, result.transcript)
        self.assertEqual(result.boxes, [])
        data = target / "docs" / "deep" / "data.bin"
        self.assertEqual(data.read_bytes(), payload)
        self.assertFalse(data.stat().st_mode & stat.S_IWUSR, "read-only attribute not applied")
        self.assertEqual(existing.read_bytes(), b"read me\r\n")
        self.assertEqual(data.stat().st_mtime, time.mktime(stamp + (0, 0, -1)))

    def test_failures_are_reported_and_the_walk_goes_on(self):
        archive = self.work / "mixed.zip"
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_STORED) as z:
            z.writestr("first.txt", b"first")
            z.writestr("../escape.txt", b"outside")
            # Names Windows opens as devices: the bytes would go to NUL, AUX,
            # COM1 or a printer port instead of a file.
            for device in ("nul", "NUL.txt", "sub/aux.c", "com1.log", "lpt1"):
                z.writestr(device, b"to a device")
            z.writestr("blocked/inner.txt", b"blocked")
            z.writestr("bad.txt", b"bad crc")
            z.writestr("last.txt", b"last")
        raw = bytearray(archive.read_bytes())
        # Break the CRC of "bad.txt" in its local header only.
        at = raw.index(b"PK\x03\x04", raw.index(b"bad.txt") - 30 - 4)
        raw[at + 14] ^= 0xFF
        archive.write_bytes(raw)
        target = self.work / "out" / "t"
        target.mkdir(parents=True)
        (target / "blocked").write_bytes(b"a file where a directory must go")
        result = self.extract(archive, target, 8)
        self.assertEqual(self.texts(result), ["Write error! on ..\\escape.txt",
                                              "Write error! on nul", "Write error! on NUL.txt",
                                              "Write error! on sub\\aux.c",
                                              "Write error! on com1.log", "Write error! on lpt1",
                                              "Write error! on blocked\\inner.txt",
                                              "CRC-Error!"], result.transcript)
        self.assertEqual(result.exit_code, 1)
        self.assertFalse((self.work / "out" / "escape.txt").exists())
        self.assertFalse((target / "bad.txt").exists())
        self.assertEqual((target / "first.txt").read_bytes(), b"first")
        self.assertEqual((target / "last.txt").read_bytes(), b"last")
        self.assertEqual(sorted(p.name for p in target.iterdir()),
                         ["blocked", "first.txt", "last.txt"])

    def test_links_below_the_target_are_never_entered(self):
        # The target itself may be a link (the user chose it); below it, a
        # link to a folder elsewhere is neither entered nor written through.
        outside = self.work / "outside"
        outside.mkdir()
        real = self.work / "real"
        real.mkdir()
        (real / "sub").symlink_to(outside)
        target = self.work / "chosen"
        target.symlink_to(real)
        archive = self.work / "linked.zip"
        with zipfile.ZipFile(archive, "w") as z:
            for name in ("first.txt", "sub/", "sub/inner.txt", "sub/deeper/deep.txt", "last.txt"):
                z.writestr(name, b"" if name.endswith("/") else name.encode())
        result = self.extract(archive, target, 3)
        self.assertEqual(self.texts(result), ["Write error! on sub\\", "Write error! on sub\\inner.txt",
                                              "Write error! on sub\\deeper\\deep.txt"],
                         result.transcript)
        self.assertEqual(list(outside.iterdir()), [])
        self.assertEqual((real / "first.txt").read_bytes(), b"first.txt")
        self.assertEqual((real / "last.txt").read_bytes(), b"last.txt")

    def test_names_beyond_ascii_keep_their_characters_or_are_refused(self):
        # Wine's ANSI code page here is 1252, its OEM code page 437. Python's
        # zipfile sets flag bit 11 for every name beyond ASCII; the
        # placeholder X becomes the code page 437 byte of "Ü", unflagged.
        archive = self.work / "names.zip"
        with zipfile.ZipFile(archive, "w") as z:
            z.writestr("Über/Ärger.txt", b"utf-8")
            z.writestr("Xbersicht.txt", b"code page 437")
            z.writestr("中文.txt", b"no such characters in 1252")
            z.writestr("..／escape.txt", b"a fullwidth solidus")
            z.writestr("..＼escape.txt", b"a fullwidth reverse solidus")
            z.writestr("plain.txt", b"ascii")
        archive.write_bytes(archive.read_bytes().replace(b"Xbersicht", b"\x9abersicht"))
        target = self.work / "out" / "t"
        result = self.extract(archive, target, 3)
        # Refused names are shown as the directory gives them.
        self.assertEqual(self.texts(result),
                         ["Write error! on " + name.encode().decode("latin-1")
                          for name in ("中文.txt", "..／escape.txt", "..＼escape.txt")],
                         result.transcript)
        self.assertEqual((target / "Über" / "Ärger.txt").read_bytes(), b"utf-8")
        self.assertEqual((target / "Übersicht.txt").read_bytes(), b"code page 437")
        self.assertEqual((target / "plain.txt").read_bytes(), b"ascii")
        self.assertEqual(sorted(p.name for p in target.iterdir()),
                         ["plain.txt", "Über", "Übersicht.txt"])
        self.assertEqual(sorted(p.name for p in (self.work / "out").iterdir()), ["t"])

    def test_missing_and_broken_archives(self):
        result = self.extract(self.work / "nothere.zip", self.work / "out", 1)
        self.assertEqual(self.texts(result),
                         ["The specified file, nothere.zip is not found or not a ZIP file!"])
        junk = self.work / "junk.zip"
        junk.write_bytes(b"no archive here" * 500)
        result = self.extract(junk, self.work / "out", 1)
        self.assertEqual(self.texts(result), ["Error reading Zipfile!"])


    def test_pkzip_204_deflated_entries_match_the_manifest(self):
        corpus = self.corpus_dir()
        with open(corpus / "MANIFEST.tsv", newline="") as f:
            rows = [r for r in csv.DictReader(f, delimiter="\t")
                    if r["archive"] == "pkzip/PKZ204EN.ZIP"]
        self.assertEqual(sum(r["method"] == "deflated" for r in rows), 8)
        target = self.extract_cleanly(corpus / "pkzip" / "PKZ204EN.ZIP")
        for row in rows:
            data = (target / row["entry"]).read_bytes()
            self.assertEqual(len(data), int(row["size"]), row["entry"])
            self.assertEqual(zlib.crc32(data), int(row["crc32"], 16), row["entry"])

    def test_info_zip_level_9_and_a_streamed_entry(self):
        rng = random.Random(5)
        words = [b"orvane ", b"window ", b"deflate\n", b"entry ", b"table "]
        text = b"".join(rng.choice(words) for _ in range(40000))
        noise = bytes(rng.getrandbits(8) for _ in range(50000))
        src = self.work / "src"
        src.mkdir()
        (src / "text.txt").write_bytes(text)
        (src / "mixed.bin").write_bytes(noise[:20000] + text + bytes(70000))
        subprocess.run(["zip", "-q", "-9", "../l9.zip", "text.txt", "mixed.bin"], cwd=src, check=True)
        target = self.extract_cleanly(self.work / "l9.zip")
        self.assertEqual((target / "text.txt").read_bytes(), text)
        self.assertEqual((target / "mixed.bin").read_bytes(), (src / "mixed.bin").read_bytes())

        # Written to a pipe: sizes 0 in the local header, CRC in the descriptor.
        subprocess.run("zip -q -fz- - - | cat > piped.zip", shell=True, input=text,
                       cwd=self.work, check=True)
        target = self.extract_cleanly(self.work / "piped.zip")
        self.assertEqual((target / "-").read_bytes(), text)


if __name__ == "__main__":
    run_tests()
