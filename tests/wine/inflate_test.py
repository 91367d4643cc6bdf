"""End-to-end tests of inflate through build/win64/extract.exe under Wine:
every deflated entry of the PKZIP 2.04 corpus, an Info-ZIP archive at its
strongest level, and a streamed entry whose CRC follows in a data
descriptor. Run by ctest in the Wine bench fixture (see winebench.py);
ORVANE_CORPUS_DIR points at the corpus. Standard library only.
"""

import csv
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from winebench import Bench, windows_path  # noqa: E402


class InflateUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.bench = Bench.from_environment()
        cls.tool = cls.bench.win64("extract.exe")

    def setUp(self):
        self.work = Path(tempfile.mkdtemp(prefix="inflate-e2e-"))
        self.addCleanup(shutil.rmtree, self.work, True)

    def extract_cleanly(self, archive: Path) -> Path:
        target = self.work / (archive.stem + "-out")
        result = self.bench.run(self.tool, [windows_path(archive), windows_path(target)],
                                answers=["OK"] * 4)
        self.assertEqual(result.boxes, [], result.transcript)
        self.assertEqual(result.exit_code, 0, result.transcript)
        return target

    def test_pkzip_204_deflated_entries_match_the_manifest(self):
        corpus = Path(os.environ.get("ORVANE_CORPUS_DIR", ""))
        if not (corpus / "MANIFEST.tsv").is_file():
            self.skipTest(f"no corpus at {corpus}")
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
    unittest.main(verbosity=2)
