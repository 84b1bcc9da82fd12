#!/usr/bin/env python3
"""Counts the work each sort makes the machine do, and fails when it grows.

Runs work_counts under Callgrind, which counts each sort's instructions,
branches, mispredictions of a simple predictor and misses of simulated caches
fixed here, so that the counts are the same on every run at any load and on
any machine. Compares them with the baseline recorded for the same build:

  work_counts.py --program build/release/bench/work_counts/work_counts
  work_counts.py --program build/release/bench/work_counts/work_counts --record

The first fails (status 1) when a sort's instructions, mispredicted branches
or D1 misses exceed the baseline's by more than TOLERANCE. When Valgrind is
missing or the build is not the baseline's, it skips (status 77), except for
the build the baseline records (--baseline-build) in CI, where it fails:
otherwise a changed flag or toolchain would switch the check off unseen.
The second rewrites the baseline and the table in docs/performance.md after
an intended change. With --json it prints the counts as JSON and compares
nothing, for a tool that compares two builds.
"""

import argparse
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent
BASELINE = HERE / "baseline.json"
DOCS = ROOT / "docs" / "performance.md"
TABLE_START = "<!-- work counts: bench/work_counts/work_counts.py --record writes this table -->"
TABLE_END = "<!-- end of work counts -->"
SKIPPED = 77
RECORD_COMMAND = "cmake --build --preset release --target record_work_counts"

# Two per-core caches of the machines this project is measured on (32 KiB
# 8-way L1d, 1 MiB 16-way L2), whatever machine runs the check.
CALLGRIND = ["valgrind", "--tool=callgrind", "--collect-atstart=no",
             "--branch-sim=yes", "--cache-sim=yes", "--I1=32768,8,64",
             "--D1=32768,8,64", "--LL=1048576,16,64"]

# Counts that the same binary repeats exactly; the margin lets a change
# elsewhere move the program's stack or heap by a line or two.
TOLERANCE = 0.01
CHECKED = {"instructions": "instructions",
           "mispredicted": "mispredicted branches",
           "d1_misses": "D1 misses"}
COUNTS = ["instructions", "branches", "mispredicted", "d1_misses", "ll_misses"]


def callgrind_counts(events, summary):
    """Our counts from one dump's event names and totals."""
    value = dict(zip(events, map(int, summary)))
    get = lambda *names: sum(value.get(name, 0) for name in names)
    return {"instructions": get("Ir"),
            "branches": get("Bc", "Bi"),
            "mispredicted": get("Bcm", "Bim"),
            "d1_misses": get("D1mr", "D1mw"),
            "ll_misses": get("ILmr", "DLmr", "DLmw")}


def count(program):
    """Runs the program under Callgrind: its build, and each sort's work and counts."""
    with tempfile.TemporaryDirectory() as out:
        run = subprocess.run(CALLGRIND + [f"--callgrind-out-file={out}/dump", program],
                             capture_output=True, text=True)
        if run.returncode != 0:
            sys.exit(f"work_counts failed under Callgrind:\n{run.stdout}{run.stderr}")
        lines = run.stdout.splitlines()
        sorts = {}
        data = None  # a program that names no program's data
        for line in lines[1:]:
            if line.startswith("data "):
                data = line.removeprefix("data ")
                continue
            name, size, unit, work = line.split()
            sorts[name] = {"data": data, "size": int(size), "unit": unit, "work": int(work)}
        for dump in pathlib.Path(out).glob("dump.*"):
            fields = dict(line.split(": ", 1) for line in dump.read_text().splitlines()
                          if line.startswith(("desc: Trigger", "events:", "summary:")))
            name = fields["desc"].removeprefix("Trigger: Client Request: ")
            sorts[name].update(callgrind_counts(fields["events"].split(),
                                                fields["summary"].split()))
    version = subprocess.run(["valgrind", "--version"], capture_output=True, text=True)
    return {"build": lines[0].removeprefix("build "),
            "valgrind": " ".join([version.stdout.strip()] + CALLGRIND[1:]),
            "sorts": sorts}


def table(result):
    """The markdown table of the counts per unit of work."""
    rows = ["| sort | size | work | instructions | branches | mispredicted | D1 misses "
            "| LL misses |",
            "|---|---:|---|---:|---:|---:|---:|---:|"]
    for name, sort in result["sorts"].items():
        per_unit = [f"{sort[key] / sort['work']:.3f}" for key in COUNTS]
        rows.append(f"| {name} | {grouped(sort['size'])} | {grouped(sort['work'])} "
                    f"{sort['unit'].replace('_', ' ')} | " + " | ".join(per_unit) + " |")
    return "\n".join(rows)


def grouped(value):
    return f"{value:,}".replace(",", " ")


def millions(value):
    return f"{value / 1e6:.2f} M"


def compare(result, baseline):
    """Prints a line per sort; returns whether every checked count stayed within tolerance."""
    within = True
    for name, sort in result["sorts"].items():
        before = baseline["sorts"].get(name)
        if before is None:
            print(f"{name}: not in the baseline; record it")
            within = False
            continue
        grown = [f"{label} {sort[key]:,} against the baseline's {before[key]:,} "
                 f"({sort[key] / before[key] - 1:+.1%})"
                 for key, label in CHECKED.items()
                 if sort[key] > before[key] * (1 + TOLERANCE)]
        if grown:
            within = False
            print(f"{name}: FAILED, more work than the baseline allows "
                  f"({TOLERANCE:.0%}): " + "; ".join(grown))
        else:
            shrunk = [label for key, label in CHECKED.items()
                      if sort[key] < before[key] * (1 - TOLERANCE)]
            note = f"; fewer {', '.join(shrunk)}: record the gain" if shrunk else ""
            print(f"{name}: {millions(sort['instructions'])} instructions, "
                  f"{millions(sort['mispredicted'])} mispredicted, "
                  f"{millions(sort['d1_misses'])} D1 misses: within "
                  f"{TOLERANCE:.0%} of the baseline{note}")
    for name in baseline["sorts"].keys() - result["sorts"].keys():
        print(f"{name}: FAILED, in the baseline but no longer counted; record the baseline "
              "again if it was removed on purpose")
        within = False
    return within


def differences(result, baseline):
    """What differs between the build that counted and the baseline's, a phrase each."""
    def parts(counted):
        compiler, flags, lto = (counted["build"].split(", ", 2) + ["", ""])[:3]
        valgrind, _, options = counted["valgrind"].partition(" ")
        return {"compiler": compiler, "flags": flags, "link-time optimisation": lto,
                "Valgrind": valgrind, "Callgrind options": options}
    new, old = parts(result), parts(baseline)
    return [f"{name} '{new[name]}' against the baseline's '{old[name]}'"
            for name in old if new[name] != old[name]]


def verdict(result, baseline, baseline_build, ci):
    """Whether to compare the counts, or to skip or fail the check, and the line that says why.

    result is None when Valgrind could not count. Outside CI, another build or
    a machine without Valgrind skips, so that anyone can run the suite; in CI,
    the build the baseline records must be counted and must be that build, so
    that a change to it is re-recorded and reviewed rather than left unchecked.
    """
    strict = baseline_build and ci
    if result is None:
        return ("fail" if strict else "skip",
                "Valgrind is not installed: the work counts were not checked "
                "(apt-get install valgrind, then configure again)")
    differ = differences(result, baseline)
    if not differ:
        return "compare", ""
    line = f"NOT COMPARED: {'; '.join(differ)}"
    if strict:
        return "fail", (f"{line}. In CI this build must match the baseline: re-record it "
                        f"with `{RECORD_COMMAND}` and commit the baseline")
    return "skip", line


def in_ci():
    return os.environ.get("CI", "").lower() not in ("", "0", "false")


def record(result):
    BASELINE.write_text(json.dumps(result, indent=2) + "\n")
    docs = DOCS.read_text()
    start = docs.index(TABLE_START) + len(TABLE_START)
    end = docs.index(TABLE_END)
    DOCS.write_text(f"{docs[:start]}\n{table(result)}\n{docs[end:]}")
    print(f"recorded {BASELINE.relative_to(ROOT)} and the table in "
          f"{DOCS.relative_to(ROOT)}:\n{table(result)}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--program", help="the work_counts binary; absent without Valgrind")
    parser.add_argument("--record", action="store_true",
                        help="write the baseline and the docs table from this run")
    parser.add_argument("--baseline-build", action="store_true",
                        help="this is the build the baseline records: in CI, fail "
                             "rather than skip when it differs")
    parser.add_argument("--json", action="store_true",
                        help="print the counts as JSON, without comparing them")
    args = parser.parse_args()
    counted = args.program and shutil.which("valgrind") is not None
    result = count(args.program) if counted else None
    if args.json:
        if not result:
            sys.exit("Valgrind is not installed: there is nothing to count")
        print(json.dumps(result))
        return 0
    if args.record:
        if not result:
            sys.exit("Valgrind is not installed: there are no counts to record")
        record(result)
        return 0
    baseline = json.loads(BASELINE.read_text())
    if result:
        print(f"{result['build']}, per unit of work:\n{table(result)}")
        if table(baseline) not in DOCS.read_text():
            print(f"the table in {DOCS.name} is not the baseline's: run --record")
            return 1
    action, line = verdict(result, baseline, args.baseline_build, in_ci())
    if action == "compare":
        return 0 if compare(result, baseline) else 1
    print(line)
    return 1 if action == "fail" else SKIPPED


if __name__ == "__main__":
    sys.exit(main())
