#!/usr/bin/env python3
"""Counts the Qt test suites' results under wine from ctest's JUnit file.

Prints "Qt suites under Wine: N passed, N failed, N skipped", then each skip with its reason
(the line GoogleTest prints after "Skipped") and each failure by name. Exits 1 when a test
failed, a skip gives no reason, or fewer than --at-least tests passed (a suite whose listing
run failed is missing from the file altogether).

Usage: wine-suite-summary.py JUNIT_FILE [--prefix wine.] [--at-least N]
"""
import argparse
import sys
import xml.etree.ElementTree as ET


def skip_reason(output):
    lines = (output or "").splitlines()
    for i, line in enumerate(lines):
        if line.rstrip().endswith(": Skipped") and i + 1 < len(lines):
            reason = lines[i + 1].strip()
            if reason and not reason.startswith("[  SKIPPED ]"):
                return reason
    return ""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("junit")
    parser.add_argument("--prefix", default="wine.")
    parser.add_argument("--at-least", type=int, default=0)
    args = parser.parse_args()

    passed, failed, skipped = [], [], []
    for case in ET.parse(args.junit).getroot().iter("testcase"):
        name = case.get("name", "")
        if not name.startswith(args.prefix):
            continue
        name = name[len(args.prefix):]
        if case.find("skipped") is not None or case.get("status") in ("notrun", "disabled"):
            skipped.append((name, skip_reason(case.findtext("system-out"))))
        elif case.get("status") == "run" and case.find("failure") is None:
            passed.append(name)
        else:
            failed.append(name)

    print(f"Qt suites under Wine: {len(passed)} passed, {len(failed)} failed, {len(skipped)} skipped")
    ok = not failed
    for name, reason in sorted(skipped):
        print(f"  skipped {name}: {reason or 'NO REASON GIVEN'}")
        ok = ok and bool(reason)
    for name in sorted(failed):
        print(f"  FAILED {name}")
    if len(passed) < args.at_least:
        print(f"  only {len(passed)} passed, fewer than the {args.at_least} expected: a suite is missing")
        ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
