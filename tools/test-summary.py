#!/usr/bin/env python3
"""Counts test cases across CTest runs: GoogleTest programs by their own cases,
other CTest tests (scripts, fixtures) as one case each. A program that CTest saw
fail counts at least one failure even if its own results say otherwise (a
sanitizer report at exit, a crash after the result file was written).

usage: test-summary.py JUNIT RESULTS_DIR [JUNIT RESULTS_DIR ...]
"""
import os
import sys
import xml.etree.ElementTree as ET


def gtest_counts(path):
    root = ET.parse(path).getroot()
    tests = int(root.get("tests", 0))
    failed = int(root.get("failures", 0)) + int(root.get("errors", 0))
    disabled = int(root.get("disabled", 0))
    skipped = sum(1 for case in root.iter("testcase") if case.find("skipped") is not None)
    return tests - failed - disabled - skipped, failed


def main(args):
    passed = failed = 0
    for junit, results in zip(args[0::2], args[1::2]):
        if not os.path.exists(junit):
            print(f"no CTest results in {junit}")
            failed += 1
            continue
        for case in ET.parse(junit).getroot().iter("testcase"):
            name = case.get("name")
            ctest_ok = case.get("status") == "run" and case.find("failure") is None
            own = os.path.join(results, name + ".xml")
            if os.path.exists(own):
                try:
                    p, f = gtest_counts(own)
                except ET.ParseError:
                    p, f = 0, 1
                if not ctest_ok and f == 0:
                    f = 1
                passed += p
                failed += f
            elif ctest_ok:
                passed += 1
            else:
                failed += 1
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
