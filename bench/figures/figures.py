#!/usr/bin/env python3
"""The figures that the README and the docs quote: measured into one results
file, docs/figures.json, and rendered from it into the docs.

    figures.py measure --build-dir build/release --compiler "GNU 12.2.0"
    figures.py render
    figures.py check

measure runs every measurement the docs quote, on the machine at hand and
at a clean checkout, with progress on standard error (about an hour on two
cores, most of it sortbench's full run); writes the file and the plots
under docs/, then renders. render writes every figure into the docs again
from the file, without measuring. check, a test, fails where a figure in a
doc is not what the file renders (edited by hand), or where the sorts'
counted work has moved from the work that was timed.

In a doc, a figure sits between `<!-- fig NAME ARGS -->` and `<!-- /fig -->`,
within a sentence or as a block of lines; NAME is a method of Figures.
"""

import argparse
import datetime
import hashlib
import json
import os
import pathlib
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent
RESULTS = ROOT / "docs" / "figures.json"
DOCS = [ROOT / "README.md", ROOT / "docs" / "performance.md", ROOT / "docs" / "sortbench.md"]
BASELINE = ROOT / "bench" / "work_counts" / "baseline.json"
COMPARE_BUILDS = ROOT / "bench" / "compare_builds" / "compare_builds.py"
SORTBENCH_SCRIPTS = ROOT / "bench" / "sortbench"
MEASURE = "cmake --build --preset release --target record_figures"
RENDER = "cmake --build --preset release --target render_figures"
FIGURE = re.compile(r"<!-- fig ([^>]+?) -->(.*?)<!-- /fig -->", re.S)

# The builds that the docs compare: the default first, each other against it.
CANDIDATES = "gcc-O2-lto,gcc-O2,gcc-O3-lto"
# A slowdown to show what comparing two commits says, made from HEAD.
SLOWDOWN = HERE / "branchy_partition.patch"
SLOWDOWN_COMMIT = "Put the partition loop's branch back"


def progress(line):
    print(f"figures: {line}", file=sys.stderr, flush=True)


def git(*args, cwd=ROOT):
    return subprocess.run(["git", *args], cwd=cwd, check=True, capture_output=True,
                          text=True).stdout.strip()


def counts_digest(baseline):
    """A digest of each sort's counted work, whatever else the baseline records."""
    counts = {name: {key: value for key, value in sort.items() if isinstance(value, int)}
              for name, sort in baseline["sorts"].items()}
    return hashlib.sha256(json.dumps(counts, sort_keys=True).encode()).hexdigest()[:16]


def machine():
    """The CPU as lscpu names it, with its family, model and caches."""
    fields = dict(re.findall(r"^([^:\n]+):\s*(.*)$",
                             subprocess.run(["lscpu"], capture_output=True, text=True).stdout,
                             re.M))
    return {"cpu": fields.get("Model name", "unknown CPU"),
            "family": fields.get("CPU family", "?"), "model": fields.get("Model", "?"),
            "cores": os.cpu_count(),
            "caches": {level: fields[f"{level} cache"] for level in ("L1d", "L2", "L3")
                       if f"{level} cache" in fields}}


def compare_builds(*args, statuses=(0,)):
    """What compare_builds.py finds, as data."""
    with tempfile.NamedTemporaryFile("r", suffix=".json") as out:
        run = subprocess.run([str(COMPARE_BUILDS), *args, "--json", out.name], cwd=ROOT,
                             stdout=subprocess.DEVNULL)
        if run.returncode not in statuses:
            sys.exit(f"figures: compare_builds.py {' '.join(args)} failed")
        return json.loads(out.read())


def slowdown_commit():
    """A commit of HEAD with SLOWDOWN applied, made in a worktree of its own
    and removed with it; the commit stays for compare_builds to check out."""
    with tempfile.TemporaryDirectory() as scratch:
        tree = pathlib.Path(scratch) / "slowdown"
        git("worktree", "add", "--detach", str(tree), "HEAD")
        try:
            git("apply", str(SLOWDOWN), cwd=tree)
            git("-c", "user.name=figures", "-c", "user.email=figures@localhost", "commit",
                "-qam", SLOWDOWN_COMMIT, cwd=tree)
            return git("rev-parse", "HEAD", cwd=tree)
        finally:
            git("worktree", "remove", "--force", str(tree))


def sortbench(binary, out, *args):
    """A sortbench run into `out`, on one core where there are two, and its summary."""
    pinned = ["taskset", "-c", "1"] if shutil.which("taskset") and os.cpu_count() > 1 else []
    subprocess.run([*pinned, str(binary), *args, f"--benchmark_out={out}"], check=True,
                   stdout=subprocess.DEVNULL)
    return subprocess.run([sys.executable, str(SORTBENCH_SCRIPTS / "summarize_sortbench.py"),
                           str(out)], check=True, capture_output=True, text=True).stdout


def reduced(results):
    """Of a full sortbench run, what the docs quote: each case on random
    input and on the programs' data, its time in ms and per element in ns as
    [median, fastest, slowest], and its counters' medians."""
    context = results["context"]
    kept = [json.loads(context["shapes"])[0]] + json.loads(context["program_data"])
    cases = {}
    for run in results["benchmarks"]:
        sort, shape, size = run["run_name"].split("/")[:3]
        statistic = run.get("aggregate_name")
        if shape not in kept or statistic not in ("median", "min", "max"):
            continue
        case = cases.setdefault(f"{sort}/{shape}/{size}", {"ms": [0, 0, 0], "ns": [0, 0, 0]})
        slot = ("median", "min", "max").index(statistic)
        case["ms"][slot] = run["real_time"]
        case["ns"][slot] = run["per_element"] * 1e9
        if statistic == "median":
            case["counters"] = {key: value for key, value in run.items()
                                if key not in ("per_element", "real_time", "cpu_time")
                                and isinstance(value, (int, float)) and not
                                key.startswith(("repetition", "iterations", "threads",
                                                "family_index", "per_family"))}
    return {"context": {key: context[key] for key in ("sorts", "shapes", "program_data")},
            "cases": cases}


def measure(build, compiler):
    """Every measurement the docs quote, as one results file."""
    if git("status", "--porcelain"):
        sys.exit("figures: the checkout has uncommitted changes: the figures name the commit "
                 "they were measured at, so commit first")
    started = time.monotonic()
    data = {"context": {**machine(), "compiler": compiler,
                        "commit": git("rev-parse", "--short", "HEAD"),
                        "date": datetime.date.today().isoformat(),
                        "counts_digest": counts_digest(json.loads(BASELINE.read_text()))},
            "seconds": {}}

    def step(name, what, run):
        progress(f"{what} ...")
        start = time.monotonic()
        data[name] = run()
        data["seconds"][name] = round(time.monotonic() - start)

    step("programs", "both programs 10 times, interleaved (compare_builds.py --runs 10)",
         lambda: compare_builds("--runs", "10", "--build-dir", str(build)))
    step("candidates", f"three builds, 3 rounds ({CANDIDATES})",
         lambda: compare_builds("--runs", "3", "--candidates", CANDIDATES))
    slow = slowdown_commit()
    step("slowdown", f"HEAD against HEAD with {SLOWDOWN.name} (compare_builds.py --commits)",
         lambda: compare_builds("--commits", f"HEAD,{slow}", "--programs", "dunmark",
                                "--runs", "3", "--fail-slower", "5", statuses=(0, 1)))
    step("counts", "the counted-work check (ctest -L counts)",
         lambda: subprocess.run(["ctest", "--test-dir", str(build), "-L", "counts"],
                                check=True, stdout=subprocess.DEVNULL).returncode)
    binary = build / "bench" / "sortbench" / "sortbench"
    with tempfile.TemporaryDirectory() as scratch:
        quick = pathlib.Path(scratch) / "quick.json"
        step("quick_look", "sortbench's quick look (sortbench --quick)",
             lambda: {"summary": sortbench(binary, quick, "--quick")})
    full = build / "bench" / "figures" / "sortbench_full.json"
    full.parent.mkdir(parents=True, exist_ok=True)
    step("full_run", f"sortbench's full run, on one core, into {full} (about 45 min)",
         lambda: {"summary": sortbench(binary, full)})
    data["full_run"].update(reduced(json.loads(full.read_text())))
    plots = [str(ROOT / "docs" / name) for name in ("sortbench.svg", "sortbench_work.svg")]
    subprocess.run([sys.executable, str(SORTBENCH_SCRIPTS / "plot_sortbench.py"), str(full),
                    *plots], check=True, stdout=subprocess.DEVNULL)
    data["seconds"]["all"] = round(time.monotonic() - started)
    RESULTS.write_text(json.dumps(data, indent=1) + "\n")
    progress(f"wrote {RESULTS.relative_to(ROOT)} in {data['seconds']['all'] / 60:.0f} min")


def render_text(text, figures):
    """`text` with every figure in it rendered anew."""
    def figure(match):
        value = figures.render(match.group(1))
        return f"<!-- fig {match.group(1)} -->{value}<!-- /fig -->"
    return FIGURE.sub(figure, text)


def stale(path, figures):
    """A line for each figure in the doc at `path` that is not what the file renders."""
    text = path.read_text()
    for match in FIGURE.finditer(text):
        line = text.count("\n", 0, match.start()) + 1
        where = f"{path.name}:{line}: {match.group(1)}"
        try:
            if match.group(2) != figures.render(match.group(1)):
                yield f"{where} is not what the results file renders"
        except Unknown:
            yield f"{where} is no figure of the results file's"


def check(data, baseline, docs):
    """Lines that say what is wrong with the docs' figures; none when all is well."""
    problems = []
    if data["context"]["counts_digest"] != counts_digest(baseline):
        problems.append("the sorts' counted work has moved since their times were measured: "
                        f"measure the figures again with `{MEASURE}` (about an hour)")
    edited = [line for path in docs for line in stale(path, Figures(data, baseline))]
    if edited:
        problems += edited + [f"the docs' figures are written from {RESULTS.name} by "
                              f"`{RENDER}`, not by hand"]
    return problems


class Unknown(Exception):
    """A figure that the results file cannot render: no method of that name,
    or nothing measured of what it names."""


def duration(seconds):
    """'74 s', '4 min 22 s' or '62 min'."""
    minutes, rest = divmod(round(seconds), 60)
    if minutes >= 20 or (minutes and not rest):
        return f"{round(seconds / 60)} min"
    return f"{minutes} min {rest} s" if minutes else f"{rest} s"


def number(value, digits=None):
    """Three significant figures without an exponent, whole numbers from 100
    and groups of three digits from 10 000, or `digits` decimals."""
    if digits is not None:
        return f"{value:.{int(digits)}f}"
    if abs(value) >= 10000:
        return f"{value:,.0f}".replace(",", " ")
    return f"{value:.0f}" if abs(value) >= 100 else f"{value:.3g}"


def with_range(values, unit="ms", digits=0):
    """'7851 ms (7654–8130)': the median and the range."""
    return (f"{statistics.median(values):.{digits}f} {unit} "
            f"({min(values):.{digits}f}–{max(values):.{digits}f})")


def code(lines):
    return "```\n" + "\n".join(lines) + "\n```"


def table(header, rows):
    return "\n".join(["| " + " | ".join(header) + " |",
                      "|---" + "|---:" * (len(header) - 1) + "|"]
                     + ["| " + " | ".join(row) + " |" for row in rows])


class Figures:
    """Each figure the docs quote, rendered from the results file, and, for
    counts, from the counted-work baseline, which the check holds to the
    counts the times were measured with. `<!-- fig NAME ARGS -->` calls the
    method NAME with ARGS, the sorts, shapes and sizes the doc speaks of."""

    def __init__(self, data, baseline):
        self.data = data
        self.counts = baseline["sorts"]

    def render(self, call):
        name, *args = call.split()
        method = getattr(type(self), name, None)
        if name.startswith("_") or name == "render" or not callable(method):
            raise Unknown(call)
        try:
            value = method(self, *args)
        except (LookupError, StopIteration, TypeError) as error:
            raise Unknown(call) from error
        return f"\n{value}\n" if "\n" in value or value.startswith(("|", "```")) else value

    def _program(self, name):
        return self.data["programs"]["programs"][name]

    def _case(self, sort, shape, size):
        return self.data["full_run"]["cases"][f"{sort}/{shape}/{size}"]

    def _field(self, sort, shape, size, field):
        """A case's median time in ms, or the median of one of its counters."""
        case = self._case(sort, shape, size)
        return case["ms"][0] if field == "ms" else case["counters"][field]

    def _per_unit(self, counts, sort, key):
        return counts[sort][key] / counts[sort]["work"]

    def _comparison(self, step, other=None):
        return next(c for c in self.data[step]["comparisons"] if other in (None, c["other"]))

    # The machine, and how long each measurement took.

    def machine(self):
        c = self.data["context"]
        return (f"an `{c['cpu']}` as `lscpu` names it (family {c['family']}, model "
                f"{c['model']}, {c['cores']} cores, shared), at commit `{c['commit']}`")

    def machine_and_build(self):
        c = self.data["context"]
        return (f"an `{c['cpu']}` as `lscpu` names it (family {c['family']}, model "
                f"{c['model']}; {c['cores']} cores shared with other work; "
                f"{self.cache('L1d')} L1d and {self.cache('L2')} L2 per core), {c['compiler']}, "
                f"the default Release build, at commit `{c['commit']}` on {c['date']}")

    def cache(self, level):
        """'1 MiB': a cache's size per instance, from lscpu's '2 MiB (2 instances)'."""
        size, unit, instances = re.match(r"([\d.]+) (\w+)(?: \((\d+) instances?\))?",
                                         self.data["context"]["caches"][level]).groups()
        return f"{number(float(size) / int(instances or 1))} {unit}"

    def duration(self, step):
        return duration(self.data["seconds"][step])

    # The programs, run ten times by compare_builds.py.

    def sample_reports(self):
        return code((self._program("corvel")["report"] + self._program("dunmark")["report"])
                    .splitlines())

    def output(self, step):
        return code(self.data[step]["output"])

    def verdict(self, program):
        return self._program(program)["verdict"]

    def run_spread(self):
        """How far apart each sort's fastest and slowest run lie, as a share of its median."""
        spreads = [(max(t) - min(t)) / statistics.median(t) * 100 for p in ("corvel", "dunmark")
                   for t in (self._program(p)["first"], self._program(p)["second"])]
        return f"{min(spreads):.0f} to {max(spreads):.0f}%"

    def outside_sorts(self, program):
        """The range of the time a program's runs spent outside its two sorts."""
        p = self._program(program)
        outside = [wall - (a + b) / 1000 for wall, a, b in
                   zip(p["wall_seconds"], p["first"], p["second"])]
        if max(outside) < 1:
            return f"{min(outside) * 1000:.0f} to {max(outside) * 1000:.0f} ms"
        return f"{min(outside):.2f} to {max(outside):.2f} s"

    def wall_and_memory(self):
        return table(["program", "wall time", "peak resident memory"],
                     [[p, with_range(self._program(p)["wall_seconds"], "s", 1),
                       f"{number(max(self._program(p)['peak_kb']) / 1000)} MB"]
                      for p in ("corvel", "dunmark")])

    def run_table(self):
        rows = []
        for program in ("corvel", "dunmark"):
            p = self._program(program)
            rows.append([program] + [f"{name}: {with_range(times)}" for name, times in
                                     zip(p["sorts"], (p["first"], p["second"]))]
                        + [with_range(p["wall_seconds"], "s", 1),
                           f"{number(max(p['peak_kb']) / 1000)} MB"])
        return table(["program", "line 2", "line 3", "wall time", "peak memory"], rows)

    # Counted work: the baseline's, and that of the builds compare_builds.py compared.

    def per_unit(self, sort, key, digits="3"):
        return number(self._per_unit(self.counts, sort, key), digits)

    def per_unit_ratio(self, sort, other, key):
        return number(self._per_unit(self.counts, sort, key)
                      / self._per_unit(self.counts, other, key))

    def more(self, sort, other, key):
        """By how much `sort`'s total count exceeds `other`'s, in per cent."""
        return f"{(self.counts[sort][key] / self.counts[other][key] - 1) * 100:.1f}%"

    def millions(self, sort, key):
        return f"{self.counts[sort][key] / 1e6:.1f}"

    def compared_per_unit(self, step, side, sort, key, digits="3"):
        """A count per unit of work of a build that compare_builds.py compared:
        `before` or `after` in the step's first comparison, or the build named."""
        if side in ("before", "after"):
            counts = self._comparison(step)["counts"][side]
        else:
            counts = self._comparison(step, side)["counts"]["after"]
        return number(self._per_unit(counts, sort, key), digits)

    def compared_count_ratio(self, step, sort, key, other=None):
        counts = self._comparison(step, other)["counts"]
        return number(counts["after"][sort][key] / counts["before"][sort][key])

    def compared_ratio(self, step, sort, other=None):
        """The ratio after/before of a sort's time, the sort named as
        compare_builds.py names it with underscores for its spaces:
        dunmark_stack_quicksort."""
        return number(self._comparison(step, other)["sorts"][sort.replace("_", " ")]["ratio"])

    def candidates_table(self):
        """Each build's medians, then each other build's against the first."""
        comparisons = self.data["candidates"]["comparisons"]
        sorts = list(comparisons[0]["sorts"])
        rows = [[f"{comparisons[0]['base']} (default)"]
                + [with_range(comparisons[0]["sorts"][sort]["before"]) for sort in sorts]]
        for c in comparisons:
            rows.append([c["other"]] + [f"{statistics.median(c['sorts'][sort]['after']):.0f} ms, "
                                        f"x{c['sorts'][sort]['ratio']:.2f}: "
                                        f"{c['sorts'][sort]['word']}" for sort in sorts])
        return table(["build", *sorts], rows)

    # sortbench: the quick look's summary and the full run's medians.

    def quick_look_summary(self):
        return code(self.data["quick_look"]["summary"].splitlines()[4:])

    def quick_look_excerpt(self, *shapes):
        """Each table of the quick look's summary, with only the rows of `shapes`."""
        lines = self.data["quick_look"]["summary"].splitlines()[4:]
        return code([line for line in lines if not line or line.endswith(":")
                     or line.split()[0] in ("shape",) + shapes])

    def case(self, sort, shape, size, field, digits=None):
        return number(self._field(sort, shape, size, field),
                      digits if digits is None else int(digits))

    def case_ratio(self, sort, other, shape, size, field):
        return number(self._field(sort, shape, size, field)
                      / self._field(other, shape, size, field))

    def programs_data_table(self, *shapes_and_sizes):
        """Every sort on the last of the programs' data it ran of those given:
        median and range, its work and the time per unit."""
        rows = []
        for sort in json.loads(self.data["full_run"]["context"]["sorts"]):
            unit = sort["unit"]
            ran = [(shape, size) for shape, size in zip(shapes_and_sizes[::2],
                                                        shapes_and_sizes[1::2])
                   if f"{sort['name']}/{shape}/{size}" in self.data["full_run"]["cases"]]
            if ran:
                case = self._case(sort["name"], *ran[-1])
                rows.append([sort["name"], number(int(ran[-1][1])),
                             with_range(case["ms"], "ms", 0 if case["ms"][0] >= 100 else 1),
                             f"{number(case['counters'][unit])} {unit.replace('_', ' ')}",
                             f"{case['counters']['ns_per_' + unit[:-1]]:.2f} ns"])
        return table(["sort", "elements", "median (range)", "work counted", "per unit"], rows)

    def ratio_table(self, shape, reference, *sorts):
        """The median of `reference` at each size of `shape`, and each sort's as
        a ratio to it."""
        sizes = sorted(int(key.split("/")[2]) for key in self.data["full_run"]["cases"]
                       if key.startswith(f"{reference}/{shape}/"))
        rows = []
        for size in sizes:
            base = self._field(reference, shape, size, "ms")
            rows.append([number(size), f"{number(base)} ms"]
                        + [f"{self._field(sort, shape, size, 'ms') / base:.2f}" for sort in sorts])
        return table(["elements", reference, *sorts], rows)

    def per_unit_table(self, shape, *sizes):
        """Each sort's time per unit of work on `shape` at `sizes`."""
        rows = []
        for sort in json.loads(self.data["full_run"]["context"]["sorts"]):
            cells = []
            for size in sizes:
                case = self.data["full_run"]["cases"].get(f"{sort['name']}/{shape}/{size}")
                cells.append(number(case["counters"]["ns_per_" + sort["unit"][:-1]])
                             if case else "")
            if any(cells):
                rows.append([sort["name"], sort["unit"].replace("_", " ")[:-1]] + cells)
        return table(["sort", "ns per", *(number(int(size)) for size in sizes)], rows)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("action", choices=("measure", "render", "check"))
    parser.add_argument("--build-dir", type=pathlib.Path, default=ROOT / "build" / "release")
    parser.add_argument("--compiler", default="unknown compiler")
    args = parser.parse_args()
    if args.action == "measure":
        measure(args.build_dir.resolve(), args.compiler)
    data = json.loads(RESULTS.read_text())
    baseline = json.loads(BASELINE.read_text())
    if args.action == "check":
        problems = check(data, baseline, DOCS)
        print("\n".join(problems) or "every figure is the results file's")
        return 1 if problems else 0
    figures = Figures(data, baseline)
    try:
        for path in DOCS:
            path.write_text(render_text(path.read_text(), figures))
    except Unknown as name:
        sys.exit(f"figures: no figure named {name}")
    progress(f"rendered the figures of {RESULTS.relative_to(ROOT)} into "
             + ", ".join(str(path.relative_to(ROOT)) for path in DOCS))
    return 0


if __name__ == "__main__":
    sys.exit(main())
