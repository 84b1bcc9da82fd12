#!/usr/bin/env python3
"""Times corvel and dunmark as built by each candidate compiler configuration.

Each candidate is configured and built under build/candidates/<name>; then
the programs run round-robin (every candidate once per round, so drift on a
shared machine spreads evenly) and the times they report are summarised as
median, minimum and maximum per sort, as a Markdown table.

    bench/compare_builds.py --runs 5
    bench/compare_builds.py --runs 3 --programs corvel --candidates gcc-O3,gcc-O3-lto
"""

import argparse
import pathlib
import re
import statistics
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

# name: (compiler, release flags, interprocedural optimisation)
CANDIDATES = {
    "gcc-O2": ("g++", "-O2 -DNDEBUG", False),
    "gcc-O2-lto": ("g++", "-O2 -DNDEBUG", True),
    "gcc-O3": ("g++", "-O3 -DNDEBUG", False),
    "gcc-O3-lto": ("g++", "-O3 -DNDEBUG", True),
    "clang-O2": ("clang++", "-O2 -DNDEBUG", False),
    "clang-O3": ("clang++", "-O3 -DNDEBUG", False),
    "clang-O3-lto": ("clang++", "-O3 -DNDEBUG", True),
}

# The two timed sorts of each program, in report order (lines 2 and 3).
SORTS = {
    "corvel": ("array bubble sort", "list bubble sort"),
    "dunmark": ("stack quicksort", "recursive quicksort"),
}


def build(name):
    compiler, flags, ipo = CANDIDATES[name]
    directory = ROOT / "build" / "candidates" / name
    subprocess.run(
        ["cmake", "-S", str(ROOT), "-B", str(directory), "-G", "Ninja",
         "-DCMAKE_BUILD_TYPE=Release", f"-DCMAKE_CXX_COMPILER={compiler}",
         f"-DCMAKE_CXX_FLAGS_RELEASE={flags}", f"-DSORTING_IPO={'ON' if ipo else 'OFF'}",
         "-DSORTING_TESTS=OFF"],
        check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(directory), "--target", "corvel", "dunmark"],
                   check=True, stdout=subprocess.DEVNULL)
    return directory


def reported_times(binary):
    report = subprocess.run([str(binary)], check=True, capture_output=True).stdout
    lines = report.decode("gbk").splitlines()
    return [int(re.search(r"(-?\d+)\D*$", line).group(1)) for line in lines[1:3]]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--programs", default="corvel,dunmark")
    parser.add_argument("--candidates", default=",".join(CANDIDATES))
    args = parser.parse_args()
    programs = args.programs.split(",")
    names = args.candidates.split(",")

    directories = {name: build(name) for name in names}
    times = {(name, program): [[], []] for name in names for program in programs}
    for run in range(args.runs):
        for name in names:
            for program in programs:
                for sort, value in enumerate(reported_times(directories[name] / program / program)):
                    times[name, program][sort].append(value)
        print(f"round {run + 1} of {args.runs} done", file=sys.stderr)

    print(f"| build | sort | median ms | min | max | runs |")
    print(f"|---|---|---:|---:|---:|---:|")
    for program in programs:
        for sort, label in enumerate(SORTS[program]):
            for name in names:
                values = times[name, program][sort]
                print(f"| {name} | {label} | {statistics.median(values):.0f} | {min(values)} "
                      f"| {max(values)} | {len(values)} |")


if __name__ == "__main__":
    main()
