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

In a doc, a figure sits between `<!-- fig NAME -->` and `<!-- /fig -->`,
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
FIGURE = re.compile(r"<!-- fig (\S+) -->(.*?)<!-- /fig -->", re.S)

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
    subprocess.run([sys.executable, str(SORTBENCH_SCRIPTS / "plot_sortbench.py"), str(full),
                    str(ROOT / "docs" / "sortbench.svg"), str(ROOT / "docs" / "sortbench_work.svg")],
                   check=True, stdout=subprocess.DEVNULL)
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
        where = f"{path.name}:{text.count(chr(10), 0, match.start()) + 1}: {match.group(1)}"
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
    edited = [line for path in docs for line in stale(path, Figures(data))]
    if edited:
        problems += edited + [f"the docs' figures are written from {RESULTS.name} by "
                              f"`{RENDER}`, not by hand"]
    return problems


class Unknown(Exception):
    """A figure that the results file has no method for."""


class Figures:
    """Each figure the docs quote, rendered from the results file. A method's
    name is the NAME of `<!-- fig NAME -->`."""

    def __init__(self, data):
        self.data = data

    def render(self, name):
        method = getattr(self, name, None)
        if name.startswith("_") or name == "render" or method is None:
            raise Unknown(name)
        value = method()
        return f"\n{value}\n" if "\n" in value or value.startswith(("|", "```")) else value


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("action", choices=("measure", "render", "check"))
    parser.add_argument("--build-dir", type=pathlib.Path, default=ROOT / "build" / "release")
    parser.add_argument("--compiler", default="unknown compiler")
    args = parser.parse_args()
    if args.action == "measure":
        measure(args.build_dir.resolve(), args.compiler)
    data = json.loads(RESULTS.read_text())
    if args.action == "check":
        problems = check(data, json.loads(BASELINE.read_text()), DOCS)
        print("\n".join(problems) or "every figure is the results file's")
        return 1 if problems else 0
    figures = Figures(data)
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
