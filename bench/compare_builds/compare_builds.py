#!/usr/bin/python3
"""Runs corvel and dunmark by turns and says whether a difference in their times is real.

Every mode runs the programs N times, round by round (each build and
program once per round, so that drift on a shared machine spreads evenly),
and reads the times they report. Where two or more builds are compared,
their order alternates from one round to the next (ABBA...): the first
round runs them as given, the second reversed, so that running first or
second biases neither side. Progress goes to standard error, one line a
run, naming the build and program in the order they run.

    bench/compare_builds/compare_builds.py --runs 10
        Is the difference each program reports real? Runs the default
        Release build (build/release) and gives each sort's median and
        range, line 4's median with a 95% interval of the paired
        differences (Student's t) and a verdict.

    bench/compare_builds/compare_builds.py --commits HEAD
    bench/compare_builds/compare_builds.py --commits HEAD~1,HEAD --programs dunmark --runs 3
        Is a change faster? BASE,CONTENDER are anything `git rev-parse`
        takes, or WORKTREE for the working tree with its uncommitted edits;
        one commit alone is compared with WORKTREE. Each commit is checked
        out with `git worktree` into build/commits/<short hash>/source and
        built as the default Release build beside it, where the next
        comparison reuses it. Per sort: the median before and after, the
        ratio after/before with its 95% interval (Student's t on the
        logarithms of the per-round ratios) and `faster`, `slower` or
        `no change` where the interval includes 1. Then each side's work,
        counted under Callgrind as the work_counts check counts it.

    bench/compare_builds/compare_builds.py --runs 3 --candidates gcc-O2,gcc-O2-lto,gcc-O3-lto
        Which compiler flags? Builds each under build/candidates/<name>
        and compares each with the first, as --commits compares two commits.

Exit status 0: compared. 1: --fail-slower PCT found a sort whose interval
lies wholly above 1 + PCT/100, and names it; where every round gave the
same ratio there is no interval, and the ratio itself is held to the limit.
2: nothing was compared, with one line that says why (no such commit, a
build or a run that fails, options that do not go together, any
unexpected error), before any result. --json FILE also writes what was
printed and the numbers behind it, each run's wall time and peak memory in
bytes (read through GNU time) among them, for the docs' figures.

Needs Debian's python3-scipy.
"""

import argparse
import dataclasses
import json
import math
import os
import pathlib
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from scipy import stats

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))
from units import bytes_from_kib  # noqa: E402  (shared with figures.py)

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent
WORK_COUNTS = HERE.parent / "work_counts" / "work_counts.py"
WORKTREE = "WORKTREE"
FAILED = 2
# The programs report whole milliseconds: an interval narrower than that
# shows the clock's resolution, not a measured spread.
RESOLUTION_MS = 1
NO_SPREAD = "no spread measured"

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

# What lines 2 and 3 of each program's report time.
SORTS = {
    "corvel": ("array bubble sort", "list bubble sort"),
    "dunmark": ("stack quicksort", "recursive quicksort"),
}
# What line 4 shows of the second time minus the first.
LINE_4 = {"corvel": "line 4", "dunmark": "line 4 shows its size"}

# The counts set beside the times, as the work_counts check names them.
COUNTED = {"instructions": "instructions", "mispredicted": "mispredicted",
           "d1_misses": "D1 misses"}


class Failure(Exception):
    """A comparison that cannot run, and what to do about it."""


@dataclasses.dataclass
class Side:
    """One build that is compared: what it is called and where it is built."""
    label: str
    source: pathlib.Path
    build: pathlib.Path
    options: list


@dataclasses.dataclass
class Change:
    """The ratio of paired times after/before, its 95% interval and what it shows."""
    ratio: float
    low: float
    high: float
    word: str


def change(before, after):
    """The change from `before` to `after`, one pair of times per round: the
    geometric mean of the per-round ratios with Student's t interval on their
    logarithms, so that a sort twice as fast and one twice as slow are
    equally far from 1. None where a time of 0 ms leaves no ratio. An
    interval that spans less than the clock's resolution at the median time
    is no evidence of certainty: its word is NO_SPREAD."""
    if min(before + after) <= 0:
        return None
    logs = [math.log(b / a) for a, b in zip(before, after)]
    centre = statistics.fmean(logs)
    half = stats.t.ppf(0.975, len(logs) - 1) * statistics.stdev(logs) / math.sqrt(len(logs))
    low, high = math.exp(centre - half), math.exp(centre + half)
    if (high - low) * statistics.median(before) < RESOLUTION_MS:
        word = NO_SPREAD
    else:
        word = "slower" if low > 1 else "faster" if high < 1 else "no change"
    return Change(math.exp(centre), low, high, word)


def too_slow(changes, percent):
    """The names of the changes whose interval lies wholly above 1 + percent/100;
    without a spread, the ratio that every round gave is held to that limit."""
    limit = 1 + percent / 100
    return [name for name, found in changes.items()
            if found and (found.ratio if found.word == NO_SPREAD else found.low) > limit]


def git(directory, *args):
    """Git's answer in `directory`, or None where it has none."""
    run = subprocess.run(["git", "-C", str(directory), *args], capture_output=True, text=True)
    return run.stdout.strip() if run.returncode == 0 else None


def repository():
    top = git(pathlib.Path.cwd(), "rev-parse", "--show-toplevel")
    if top is None:
        raise Failure(f"{pathlib.Path.cwd()} is not in a git working tree: run --commits "
                      "from a checkout of the project")
    return pathlib.Path(top)


def commit_side(repo, name):
    """The side for `name`, a commit checked out with `git worktree` (kept for
    the next comparison), or the working tree itself."""
    if name == WORKTREE:
        return Side("the working tree", repo, repo / "build" / "commits" / "worktree", [])
    commit = git(repo, "rev-parse", "--verify", "--quiet", f"{name}^{{commit}}")
    if commit is None:
        raise Failure(f"no commit '{name}' in {repo}: name one that `git rev-parse` knows, "
                      f"or {WORKTREE}")
    short = git(repo, "rev-parse", "--short", commit)
    folder = repo / "build" / "commits" / short
    source = folder / "source"
    if not ((source / ".git").exists() and git(source, "rev-parse", "HEAD") == commit):
        shutil.rmtree(source, ignore_errors=True)
        git(repo, "worktree", "prune")
        progress(f"checking out {short} ({name}) in {os.path.relpath(source)}")
        if git(repo, "worktree", "add", "--detach", str(source), commit) is None:
            raise Failure(f"`git worktree add` could not check out {short} ({name}) in {source}")
    return Side(short if commit.startswith(name) else f"{short} ({name})", source,
                folder / "build", [])


def candidate_side(name):
    if name not in CANDIDATES:
        raise Failure(f"no candidate '{name}': choose from {', '.join(CANDIDATES)}")
    compiler, flags, ipo = CANDIDATES[name]
    return Side(name, ROOT, ROOT / "build" / "candidates" / name,
                [f"-DCMAKE_CXX_COMPILER={compiler}", f"-DCMAKE_CXX_FLAGS_RELEASE={flags}",
                 f"-DSORTING_IPO={'ON' if ipo else 'OFF'}"])


def build(side, counted):
    """Builds the side's programs as the default Release build, and its
    work_counts program where `counted` and the side has one; returns that
    program's path or None."""
    progress(f"building {side.label} in {os.path.relpath(side.build)}")
    cmake = [["cmake", "-S", str(side.source), "--preset", "release", "-B", str(side.build),
              "-DSORTING_TESTS=OFF", "-DCMAKE_COMPILE_WARNING_AS_ERROR=OFF", *side.options],
             ["cmake", "--build", str(side.build), "--target", "corvel", "dunmark"]]
    for command in cmake:
        run = subprocess.run(command, capture_output=True, text=True)
        if run.returncode != 0:
            last = (run.stdout + run.stderr).strip().splitlines()[-12:]
            raise Failure(f"the build of {side.label} failed; its last lines:\n"
                          + "\n".join(last))
    targets = subprocess.run(["cmake", "--build", str(side.build), "--target", "help"],
                             capture_output=True, text=True).stdout
    if not counted or not re.search(r"^work_counts:", targets, re.M):
        return None
    run = subprocess.run(["cmake", "--build", str(side.build), "--target", "work_counts"],
                         capture_output=True, text=True)
    if run.returncode != 0:
        raise Failure(f"the build of work_counts for {side.label} failed; its last lines:\n"
                      + "\n".join((run.stdout + run.stderr).strip().splitlines()[-12:]))
    return next(path for path in side.build.glob("**/work_counts") if path.is_file())


def counts(program):
    """Each sort's counts for a work_counts program, as the check counts them."""
    run = subprocess.run([sys.executable, str(WORK_COUNTS), "--program", str(program), "--json"],
                         capture_output=True, text=True)
    if run.returncode != 0:
        raise Failure(f"counting {program} under Callgrind failed:\n{run.stdout}{run.stderr}")
    return json.loads(run.stdout)["sorts"]


def progress(line):
    print(line, file=sys.stderr, flush=True)


@dataclasses.dataclass
class Run:
    """One run of a program: the times of lines 2 and 3, its report decoded,
    its wall time and its peak resident memory in bytes (None without GNU time)."""
    times: list
    report: str
    wall_seconds: float
    peak_bytes: int


def run_program(binary):
    """Runs `binary` under GNU time where there is one: a child of this
    process would count this Python's memory in its peak, since the kernel
    keeps the high-water mark across exec, where GNU time forks the program
    from a process of its own that is small."""
    gnu_time = shutil.which("time", path="/usr/bin")
    with tempfile.NamedTemporaryFile("r") as peak:
        command = [gnu_time, "-f", "%M", "-o", peak.name] if gnu_time else []
        start = time.monotonic()
        run = subprocess.run(command + [str(binary)], stdout=subprocess.PIPE)
        wall = time.monotonic() - start
        if run.returncode != 0:
            raise Failure(f"{binary} exited with status {run.returncode}")
        peak_bytes = bytes_from_kib(int(peak.read())) if gnu_time else None
    report = run.stdout.decode("gbk")
    times = [int(re.search(r"(-?\d+)\D*$", line).group(1)) for line in report.splitlines()[1:3]]
    return Run(times, report, wall, peak_bytes)


def cpu_name():
    """'<model name> (family F, model M)', from /proc/cpuinfo where there is one."""
    try:
        text = pathlib.Path("/proc/cpuinfo").read_text()
    except OSError:
        return "unknown CPU"
    fields = dict(re.findall(r"^(model name|cpu family|model)\s*:\s*(.*)$", text, re.M))
    return (f"{fields.get('model name', 'unknown CPU')} "
            f"(family {fields.get('cpu family', '?')}, model {fields.get('model', '?')})")


def describe(program, first, second):
    """The lines that say what `first` and `second`, one pair a run, show:
    each sort's median and range, the difference's median and interval, and
    a verdict that counts the runs in which each sort was slower and the
    ties. An interval narrower than the clock's resolution (every run gave
    the same difference, say) gives no verdict: it shows no spread, not
    certainty."""
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
    faster = sum(d < 0 for d in differences)
    ties = runs - slower - faster
    tied = f", tied in {ties}" if ties else ""
    if high - low < RESOLUTION_MS:
        verdict = (f"{NO_SPREAD}: the difference was {median:.0f} ms in every run but "
                   f"{runs - differences.count(median)}, and the clock counts whole ms")
    elif low > 0:
        verdict = (f"the {names[1]} was slower in {slower} of {runs} runs{tied}: "
                   f"{median:.0f} ms (95% CI {span})")
    elif high < 0:
        verdict = (f"the {names[0]} was slower in {faster} of {runs} runs{tied}: "
                   f"{-median:.0f} ms (95% CI {-high:.0f} to {-low:.0f})")
    else:
        verdict = f"no difference shown: the interval, {span} ms, includes 0"
    lines.append(f"  verdict: {verdict}")
    return lines, {"median": median, "low": low, "high": high, "positive": slower,
                   "negative": faster, "ties": ties}


def round_order(count, round_index):
    """The order of `count` builds in a round: as given in even rounds,
    reversed in odd ones (ABBA...), so that neither side always runs first."""
    order = list(range(count))
    return order if round_index % 2 == 0 else order[::-1]


def collect_runs(builds, programs, runs):
    """{(index of the build, program): [Run]} for `builds`, (label, directory)
    pairs, every build and program once per round in round_order, so that
    drift on a shared machine spreads evenly."""
    found = {(index, program): [] for index in range(len(builds)) for program in programs}
    for run in range(runs):
        for index in round_order(len(builds), run):
            label, directory = builds[index]
            for program in programs:
                progress(f"run {run + 1} of {runs}: {label} {program} sorting ...")
                found[index, program].append(run_program(directory / program / program))
    return found


def times_of(runs, sort):
    return [run.times[sort] for run in runs]


def compare_runs(directory, programs, runs):
    """Whether the difference each program reports is real: the lines to
    print and the results as data."""
    found = collect_runs([("release", directory)], programs, runs)
    lines, results = [], {"cpu": cpu_name(), "runs": runs, "programs": {}}
    for program in programs:
        first, second = times_of(found[0, program], 0), times_of(found[0, program], 1)
        described, difference = describe(program, first, second)
        lines += described
        results["programs"][program] = {
            "sorts": SORTS[program], "first": first, "second": second,
            "difference": difference, "verdict": described[-1].removeprefix("  verdict: "),
            "ratio": dataclasses.asdict(ratio) if (ratio := change(first, second)) else None,
            "wall_seconds": [run.wall_seconds for run in found[0, program]],
            "peak_bytes": [run.peak_bytes for run in found[0, program]],
            "report": found[0, program][0].report}
    return lines, results, 0


def compare_times(found, sides, other, programs):
    """The lines that compare the times of sides[other] with the first
    side's, and {sort: (times before, times after, Change)}."""
    lines, changes = [], {}
    for program in programs:
        lines.append(f"{program}, {len(found[0, program])} rounds on {cpu_name()}: "
                     f"{sides[0].label} -> {sides[other].label}")
        for sort, name in enumerate(SORTS[program]):
            before = times_of(found[0, program], sort)
            after = times_of(found[other, program], sort)
            changes[f"{program} {name}"] = before, after, change(before, after)
            found_change = changes[f"{program} {name}"][2]
            medians = (f"{statistics.median(before):.0f} -> {statistics.median(after):.0f} ms")
            if found_change is None:
                lines.append(f"  {name}: {medians}: a time of 0 ms, too short to compare")
            else:
                lines.append(f"  {name}: {medians}, x{found_change.ratio:.3f} (95% CI "
                             f"{found_change.low:.3f} to {found_change.high:.3f}): "
                             f"{found_change.word}")
    return lines, changes


def compare_counts(before, after, base, other, programs):
    """The counted work before and after, in millions, with their ratio, of
    each sort counted on the data of one of `programs` (or of none named)."""
    rows = [["", *COUNTED.values()]]
    for name in [name for name in after
                 if name in before and after[name]["data"] in programs + [None]]:
        rows.append([name] + [f"{before[name][key] / 1e6:.2f} -> {after[name][key] / 1e6:.2f} "
                              f"x{after[name][key] / before[name][key]:.3f}" for key in COUNTED])
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    return ([f"counted work under Callgrind, millions, {base.label} -> {other.label}:"]
            + ["  " + "  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip()
               for row in rows])


def compare_sides(sides, programs, runs, fail_slower):
    """Builds every side, runs them by turns, and compares each with the
    first: the lines to print, the results as data and the exit status."""
    counted = shutil.which("valgrind") is not None
    counters = [build(side, counted) for side in sides]
    found = collect_runs([(side.label, side.build) for side in sides], programs, runs)
    work = []
    for side, counter in zip(sides, counters):
        if counter:
            progress(f"counting the work of {side.label} under Callgrind ...")
        work.append(counts(counter) if counter else None)
    lines, slow = [], []
    base = sides[0]
    results = {"cpu": cpu_name(), "runs": runs, "comparisons": []}
    for other in range(1, len(sides)):
        compared, changes = compare_times(found, sides, other, programs)
        lines += compared
        results["comparisons"].append({
            "base": base.label, "other": sides[other].label,
            "sorts": {name: {"before": before, "after": after,
                             **(dataclasses.asdict(found_change) if found_change else {})}
                      for name, (before, after, found_change) in changes.items()},
            "counts": {"before": work[0], "after": work[other]}})
        if not counted:
            lines.append("counted work: Valgrind is not installed (apt-get install valgrind)")
        elif work[0] and work[other]:
            lines += compare_counts(work[0], work[other], base, sides[other], programs)
        else:
            missing = " and ".join(sides[i].label for i in (0, other) if not work[i])
            lines.append(f"counted work: none, for want of a work_counts program in {missing}")
        if fail_slower is not None:
            slow += [f"{name} ({sides[other].label})" for name in
                     too_slow({name: entry[2] for name, entry in changes.items()}, fail_slower)]
    if slow:
        lines.append(f"slower by more than {fail_slower:g}%: " + ", ".join(slow))
    return lines, results, 1 if slow else 0


def build_release():
    subprocess.run(["cmake", "--preset", "release"], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "release", "--target", "corvel", "dunmark"],
                   cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    return ROOT / "build" / "release"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--programs", default="corvel,dunmark")
    parser.add_argument("--commits", metavar="BASE[,CONTENDER]",
                        help=f"two commits, or one against the working tree ({WORKTREE})")
    parser.add_argument("--candidates", help="compiler configurations to compare with the "
                        "first: " + ",".join(CANDIDATES))
    parser.add_argument("--fail-slower", type=float, metavar="PCT",
                        help="exit 1 when a sort is slower by more than PCT%% for certain")
    parser.add_argument("--build-dir", type=pathlib.Path,
                        help="run the programs already built here instead of building")
    parser.add_argument("--json", type=pathlib.Path, metavar="FILE",
                        help="also write the times and verdicts to FILE, for the docs' figures")
    args = parser.parse_args()
    programs = args.programs.split(",")
    if args.runs < 2:
        parser.error("an interval needs at least 2 runs")
    if args.commits and args.candidates:
        parser.error("--commits or --candidates, not both")
    if args.candidates and len(args.candidates.split(",")) < 2:
        parser.error("--candidates needs two or more to compare")
    if args.commits and len(args.commits.split(",")) > 2:
        parser.error("--commits takes BASE or BASE,CONTENDER: two commits at most")
    if args.build_dir and (args.commits or args.candidates):
        parser.error("--build-dir runs programs already built: --commits and --candidates "
                     "build their own")
    if args.fail_slower is not None and not (args.commits or args.candidates):
        parser.error("--fail-slower needs a comparison of builds: --commits or --candidates")
    try:
        if args.commits:
            repo = repository()
            names = args.commits.split(",") + [WORKTREE]
            lines, results, status = compare_sides(
                [commit_side(repo, name) for name in names[:2]], programs, args.runs,
                args.fail_slower)
        elif args.candidates:
            lines, results, status = compare_sides(
                [candidate_side(name) for name in args.candidates.split(",")], programs,
                args.runs, args.fail_slower)
        else:
            if not args.build_dir:
                progress("building the default Release build ...")
            lines, results, status = compare_runs(args.build_dir or build_release(), programs,
                                                  args.runs)
        if args.json:
            args.json.write_text(json.dumps({**results, "output": lines, "status": status},
                                            indent=1) + "\n")
    except Failure as failure:
        print(f"{pathlib.Path(sys.argv[0]).name}: {failure}", file=sys.stderr)
        return FAILED
    except Exception as error:  # noqa: BLE001  (status 1 means slower, never a crash)
        print(f"{pathlib.Path(sys.argv[0]).name}: nothing compared, an unexpected "
              f"{type(error).__name__}: {error}", file=sys.stderr)
        return FAILED
    print("\n".join(lines))
    return status


if __name__ == "__main__":
    sys.exit(main())
