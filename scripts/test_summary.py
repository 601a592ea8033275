#!/usr/bin/env python3
"""The closing summary of scripts/test-all.sh.

usage: test_summary.py LOG_DIR STAGE...

For each stage, LOG_DIR holds what test-all.sh left: STAGE.xml (ctest's
JUnit report), STAGE.seconds, and STAGE.skipped or STAGE.broken with a
reason; the fuzzing stage has fuzzing.passed and fuzzing.failed (a target
per line). A ctest test that runs a Python suite (unittest -v) counts as its
Python tests. Prints the failed tests' output, every skipped test with its
reason, a line per stage, and last "N passed, M failed", followed by
", K stages skipped" where stages could not run on this machine (CI reads
the line's start). Exit status 0 when nothing failed.
"""
import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

# unittest -v: "test_x (module.Class.test_x) ... ok"; a docstring's first
# line may stand between the name and the outcome.
PY_NAME = re.compile(r"^(test\w*) \(([\w.]+)\)")
PY_OUTCOME = re.compile(r"\.\.\. (ok|FAIL|ERROR|skipped (['\"])(.*)\2|expected failure|unexpected success)$")
GTEST_SKIP = re.compile(r"Skipped\n(.*)")


def python_results(output):
    """(name, outcome, reason) of each Python test in a unittest -v output."""
    results, name = [], None
    for line in output.splitlines():
        m = PY_NAME.match(line)
        if m:
            name = m.group(2)
        o = PY_OUTCOME.search(line)
        if o and name:
            word = o.group(1)
            outcome = "skipped" if word.startswith("skipped") else \
                "passed" if word in ("ok", "expected failure") else "failed"
            results.append((name, outcome, o.group(3) or ""))
            name = None
    return results


def stage_results(xml):
    """(name, outcome, reason, output) of each test of a ctest JUnit report."""
    out = []
    for case in ET.parse(xml).getroot().iter("testcase"):
        name = case.get("name")
        text = "".join(case.find("system-out").itertext()) if case.find("system-out") is not None else ""
        status = case.get("status")
        py = python_results(text)
        if py and status in ("run", "fail"):
            out += [(n, o, r, text) for n, o, r in py]
            if status == "fail" and not any(o == "failed" for _, o, _ in py):
                out.append((name, "failed", "", text))
            continue
        if status == "run":
            out.append((name, "passed", "", text))
        elif status in ("notrun", "disabled") or case.find("skipped") is not None:
            m = GTEST_SKIP.search(text)
            out.append((name, "skipped", m.group(1).strip() if m else "not run", text))
        else:
            out.append((name, "failed", "", text))
    return out


# Stages that run the same suite on another build of the program: where both
# ran, the second must have run as many tests as the first (a loader that
# starts nothing lists no unit tests, and no missing test passes unseen).
SAME_SUITE = {"Windows-32": "Windows-64"}


def main():
    logs, stages = Path(sys.argv[1]), sys.argv[2:]
    lines, total_passed, total_failed, skipped_stages = [], 0, 0, []
    counted = {}
    for stage in stages:
        seconds = (logs / f"{stage}.seconds").read_text().strip() if (logs / f"{stage}.seconds").exists() else "0"
        if (logs / f"{stage}.skipped").exists():
            lines.append(f"{stage:<11} NOT RUN: {(logs / f'{stage}.skipped').read_text().strip()}")
            skipped_stages.append(stage)
            continue
        results = []
        if (logs / f"{stage}.xml").exists():
            results = stage_results(logs / f"{stage}.xml")
        for kind in ("passed", "failed"):
            f = logs / f"{stage}.{kind}"
            if f.exists():
                results += [(n, kind, "", "") for n in f.read_text().split()]
        if not results and not (logs / f"{stage}.broken").exists():
            results.append((f"{stage} tests", "failed", "", "no test report was written"))
        if (logs / f"{stage}.broken").exists():
            results.append((f"{stage} build", "failed", "", (logs / f"{stage}.broken").read_text()))
        counted[stage] = len(results)
        twin = SAME_SUITE.get(stage)
        if twin in counted and counted[twin] > len(results):
            results.append((f"{stage} test count", "failed", "",
                            f"{len(results)} tests ran here, {counted[twin]} in the {twin} stage"))
        passed = sum(1 for r in results if r[1] == "passed")
        failed = [r for r in results if r[1] == "failed"]
        skipped = [r for r in results if r[1] == "skipped"]
        for name, _, _, text in failed:
            print(f"\n---- {stage}: {name} failed ----\n{text[-3000:]}")
        for name, _, reason, _ in skipped:
            print(f"{stage}: {name} skipped: {reason}")
        total_passed += passed
        total_failed += len(failed)
        lines.append(f"{stage:<11} {passed:5} passed {len(failed):4} failed {len(skipped):4} skipped {seconds:>5} s")
    print("\n" + "\n".join(lines))
    if skipped_stages:
        print(f"NOT TESTED here, as this machine cannot run them: {', '.join(skipped_stages)} (see above).")
        stages = "stage" if len(skipped_stages) == 1 else "stages"
        print(f"{total_passed} passed, {total_failed} failed, {len(skipped_stages)} {stages} skipped")
    else:
        print(f"{total_passed} passed, {total_failed} failed")
    return 1 if total_failed else 0


if __name__ == "__main__":
    sys.exit(main())
