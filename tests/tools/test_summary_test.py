"""scripts/test_summary.py on a ctest JUnit report made here: the skips of
a GoogleTest test and of unittest cases (a case, a subtest, a class) come
out as one line each, named and with their reasons; passed tests and
failures do not.

    python3 test_summary_test.py
"""

import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

SUMMARY = Path(__file__).resolve().parents[2] / "scripts" / "test_summary.py"

GTEST_OUTPUT = """[ RUN      ] Corpus.EveryEntry
/src/tests/unzip/corpus_test.cpp:49: Skipped
no reference archives at "/x/corpus" (ORVANE_CORPUS_DIR)

[  SKIPPED ] Corpus.EveryEntry (0 ms)
"""
UNITTEST_OUTPUT = """test_a (__main__.Cases.test_a) ... skipped 'no 32-bit Wine'
test_b (__main__.Cases.test_b) ...
  test_b (__main__.Cases.test_b) [pipe] ... skipped 'no FIFOs'
test_c (__main__.Cases.test_c) ... ok
test_d (__main__.Cases.test_d) ... FAIL
setUpClass (__main__.Installed) ... skipped 'no mount rights'
"""
REPORT = f"""<?xml version="1.0" encoding="UTF-8"?>
<testsuite name="(empty)" tests="3">
  <testcase name="Corpus.EveryEntry" status="notrun"><skipped message="SKIP_REGULAR_EXPRESSION_MATCHED"/>
    <system-out>{GTEST_OUTPUT}</system-out></testcase>
  <testcase name="wine_cases" status="run"><system-out>{UNITTEST_OUTPUT}</system-out></testcase>
  <testcase name="passing" status="run"><system-out>[  PASSED  ] 1 test.</system-out></testcase>
</testsuite>
"""


class Summary(unittest.TestCase):
    def test_each_skip_named_with_its_reason(self):
        with tempfile.TemporaryDirectory() as directory:
            report = Path(directory) / "host" / "ctest-report.xml"
            report.parent.mkdir()
            report.write_text(REPORT.replace('"/x/corpus"', "&quot;/x/corpus&quot;"))
            result = subprocess.run([sys.executable, SUMMARY, report, "--note", "32-bit: none ran"],
                                    capture_output=True, text=True, check=True)
        self.assertEqual(result.stdout.splitlines(), [
            "== summary: what this run did not cover",
            'skipped in host: Corpus.EveryEntry: no reference archives at "/x/corpus" (ORVANE_CORPUS_DIR)',
            "skipped in host: wine_cases: Cases.test_a: no 32-bit Wine",
            "skipped in host: wine_cases: Cases.test_b [pipe]: no FIFOs",
            "skipped in host: wine_cases: Installed.setUpClass: no mount rights",
            "32-bit: none ran",
        ])


if __name__ == "__main__":
    unittest.main(verbosity=2)
