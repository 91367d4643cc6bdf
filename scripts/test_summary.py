#!/usr/bin/env python3
"""The last words of scripts/test.sh: what the run did not cover, and why,
so that a green run says what it left out.

    python3 scripts/test_summary.py [JUNIT_REPORT...] [--note TEXT]...

Reads ctest's JUnit reports (ctest --output-junit, with the output of
passed tests kept whole) and prints, per report, one line for every test
that skipped and for every case a test script skipped inside: a GoogleTest
test's GTEST_SKIP message, a unittest case's skipTest reason. Each --note
is a line of its own from another part of the run (the Wine bench's width,
the fuzz seeds). Standard library only.
"""

import argparse
import re
import sys
import xml.etree.ElementTree as ElementTree
from pathlib import Path

# unittest at verbosity 2: "test_x (module.Class.test_x) ... skipped 'reason'", a
# subtest indented with its "[name]" or "(params)" after the parenthesis, and a
# skipping setUpClass as "setUpClass (module.Class) ... skipped 'reason'".
UNITTEST_SKIP = re.compile(r"^ *(\w+) \(([\w.]+)\)(?: (\[.*?\]|\(.*?\)))? \.\.\. skipped '(.*)'$", re.M)
# GoogleTest: "file:line: Skipped", the message, then "[  SKIPPED ] Suite.Test".
GTEST_SKIP = re.compile(r": Skipped\n(.*?)\n*\[  SKIPPED \] ([\w./]+)", re.S)


def skips(report: Path):
    """(test, reason) for each skip that the report shows."""
    for case in ElementTree.parse(report).getroot().iter("testcase"):
        name = case.get("name")
        output = case.findtext("system-out") or ""
        found = False
        for reason, test in GTEST_SKIP.findall(output):
            found = True
            yield test, reason.strip().replace("\n", " ")
        for method, place, subtest, reason in UNITTEST_SKIP.findall(output):
            found = True
            where = place.rsplit(".", 2)[-2 if method != "setUpClass" else -1]
            yield f"{name}: {where}.{method}{' ' + subtest if subtest else ''}", reason
        if not found and (case.get("status") in ("notrun", "disabled") or case.find("skipped") is not None):
            skipped = case.find("skipped")
            yield name, (skipped.get("message") if skipped is not None else None) or "skipped"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("reports", nargs="*", type=Path)
    parser.add_argument("--note", action="append", default=[])
    arguments = parser.parse_args()
    print("== summary: what this run did not cover")
    lines = 0
    for report in arguments.reports:
        if not report.exists():
            print(f"{report}: no report (the run stopped before it)")
            lines += 1
            continue
        for test, reason in skips(report):
            print(f"skipped in {report.parent.name}: {test}: {reason}")
            lines += 1
    for note in arguments.note:
        print(note)
        lines += 1
    if lines == 0:
        print("nothing: every test ran")
    return 0


if __name__ == "__main__":
    sys.exit(main())
