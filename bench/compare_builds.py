#!/usr/bin/python3
"""Runs corvel and dunmark repeatedly and says whether the difference each reports is real.

By default it builds the default Release build (in build/release, as the
`run` workflow builds it), runs the programs N times, interleaved, and reads
the times they report. For each program it prints each sort's median and
range, the difference line 4 reports as a median over the runs with a 95%
confidence interval, and a verdict in plain words. The two sorts of one run
ran under the same machine state, so the interval is that of the paired
differences (Student's t, SciPy's ttest_rel). Progress goes to standard
error: each run of dunmark takes seconds, of corvel more.

With --candidates it builds each candidate compiler configuration under
build/candidates/<name> instead, runs them round-robin (every candidate once
per round, so drift on a shared machine spreads evenly) and prints median,
minimum and maximum per sort as a Markdown table.

    bench/compare_builds.py --runs 10
    bench/compare_builds.py --runs 3 --programs corvel
    bench/compare_builds.py --runs 5 --candidates gcc-O2,clang-O2

Needs Debian's python3-scipy.
"""

import argparse
import math
import pathlib
import re
import statistics
import subprocess
import sys

from scipy import stats

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
# What line 4 shows of the second time minus the first.
LINE_4 = {"corvel": "line 4", "dunmark": "line 4 shows its size"}


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


def build_release():
    subprocess.run(["cmake", "--preset", "release"], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "release", "--target", "corvel", "dunmark"],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    return ROOT / "build" / "release"


def reported_times(binary):
    report = subprocess.run([str(binary)], check=True, capture_output=True).stdout
    lines = report.decode("gbk").splitlines()
    return [int(re.search(r"(-?\d+)\D*$", line).group(1)) for line in lines[1:3]]


def cpu_name():
    """'AMD EPYC (family 25, model 17)', from /proc/cpuinfo where there is one."""
    try:
        text = pathlib.Path("/proc/cpuinfo").read_text()
    except OSError:
        return "unknown CPU"
    fields = dict(re.findall(r"^(model name|cpu family|model)\s*:\s*(.*)$", text, re.M))
    return (f"{fields.get('model name', 'unknown CPU')} "
            f"(family {fields.get('cpu family', '?')}, model {fields.get('model', '?')})")


def describe(program, first, second):
    """The lines that say what `first` and `second`, one pair a run, show."""
    runs = len(first)
    differences = [b - a for a, b in zip(first, second)]
    median = statistics.median(differences)
    interval = stats.ttest_rel(second, first).confidence_interval(0.95)
    low, high = interval.low, interval.high
    if math.isnan(low):  # the same difference in every run leaves t undefined
        low = high = differences[0]
    names = SORTS[program]
    lines = [f"{program}, {runs} runs on {cpu_name()}:"]
    lines += [f"  {name}: median {statistics.median(times):.0f} ms "
              f"({min(times)} to {max(times)})" for name, times in zip(names, (first, second))]
    span = f"{low:.0f} to {high:.0f}"
    lines.append(f"  difference ({LINE_4[program]}), {names[1]} minus {names[0]}: median "
                 f"{median:.0f} ms, 95% CI of the mean {span} ms")
    slower = sum(d > 0 for d in differences)
    if low > 0:
        verdict = (f"the {names[1]} was slower in {slower} of {runs} runs: "
                   f"{median:.0f} ms (95% CI {span})")
    elif high < 0:
        verdict = (f"the {names[0]} was slower in {runs - slower} of {runs} runs: "
                   f"{-median:.0f} ms (95% CI {-high:.0f} to {-low:.0f})")
    else:
        verdict = f"no difference shown: the interval, {span} ms, includes 0"
    lines.append(f"  verdict: {verdict}")
    return lines


def collect_times(directories, programs, runs):
    """{(build, program): [first sort's times, second's]}, every build and
    program once per round, so that drift on a shared machine spreads evenly."""
    times = {(name, program): ([], []) for name in directories for program in programs}
    for run in range(runs):
        for name, directory in directories.items():
            for program in programs:
                print(f"run {run + 1} of {runs}: {name} {program} sorting ...",
                      file=sys.stderr, flush=True)
                for sort, value in enumerate(reported_times(directory / program / program)):
                    times[name, program][sort].append(value)
    return times


def compare_runs(directory, programs, runs):
    times = collect_times({"release": directory}, programs, runs)
    for program in programs:
        print("\n".join(describe(program, *times["release", program])))


def compare_candidates(names, programs, runs):
    times = collect_times({name: build(name) for name in names}, programs, runs)
    print("| build | sort | median ms | min | max | runs |")
    print("|---|---|---:|---:|---:|---:|")
    for program in programs:
        for sort, label in enumerate(SORTS[program]):
            for name in names:
                values = times[name, program][sort]
                print(f"| {name} | {label} | {statistics.median(values):.0f} | {min(values)} "
                      f"| {max(values)} | {len(values)} |")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--programs", default="corvel,dunmark")
    parser.add_argument("--candidates", help="compiler configurations to compare: "
                        + ",".join(CANDIDATES))
    parser.add_argument("--build-dir", type=pathlib.Path,
                        help="run the programs already built here instead of building")
    args = parser.parse_args()
    programs = args.programs.split(",")
    if args.candidates:
        compare_candidates(args.candidates.split(","), programs, args.runs)
        return
    if args.runs < 2:
        parser.error("an interval needs at least 2 runs")
    if not args.build_dir:
        print("building the default Release build ...", file=sys.stderr, flush=True)
    compare_runs(args.build_dir or build_release(), programs, args.runs)


if __name__ == "__main__":
    main()
