#!/usr/bin/env python3
"""The figures that the README and the docs quote: measured into one results
file per machine, docs/results/<machine>.json, and rendered from them into
the docs.

    figures.py measure --build-dir build/release --compiler "GNU 12.2.0"
    figures.py measure --short --build-dir build/release --compiler "GNU 12.2.0"
    figures.py render
    figures.py check

measure runs every measurement the docs quote, on the machine at hand and
at a clean checkout, with progress on standard error; --short measures
only what the comparison across machines shows, in minutes. Both first
check that every tool they need is present, and write the machine's file
after each step: a record run again at the same commit resumes after the
last step it kept; at another commit it starts over. A machine's file is
named after its CPU (amd-epyc-f25-m17.json); a record touches no other
machine's file. render writes every figure into the docs again from the
files, without measuring, and draws the plots of the comparison across
machines. check, a test, fails where a figure in a doc is not what the
files render (edited by hand), where a figure marker does not parse, where
a file's counts digest is not that of the counts it holds, where the docs'
machine timed other work than the baseline's, and where a source states a
time that no file holds.

In a Markdown file, a figure sits between `<!-- fig NAME ARGS -->` and
`<!-- /fig -->`, within a sentence or as a block of lines; NAME is a method
of Figures. The README's sample, docs/performance.md and docs/sortbench.md
show the machine DOCS_MACHINE; the comparison across machines shows every
file.
"""

import argparse
import dataclasses
import datetime
import hashlib
import json
import os
import pathlib
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent.parent
sys.path.insert(0, str(HERE.parent))
sys.path.insert(0, str(HERE.parent / "work_counts"))
import work_counts  # noqa: E402  (the check's tolerance and counts, one rule for both)
from units import megabytes  # noqa: E402

sys.path.insert(0, str(HERE.parent / "sortbench"))
from plot_sortbench import PALETTE  # noqa: E402  (each machine a colour, as each sort)

RESULTS = ROOT / "docs" / "results"
# The one machine whose full record the detailed docs show.
DOCS_MACHINE = "amd-epyc-f25-m17"
BASELINE = ROOT / "bench" / "work_counts" / "baseline.json"
COMPARE_BUILDS = ROOT / "bench" / "compare_builds" / "compare_builds.py"
SORTBENCH_SCRIPTS = ROOT / "bench" / "sortbench"
MEASURE = "cmake --build --preset release --target record_figures"
MEASURE_SHORT = "cmake --build --preset release --target record_machine"
RENDER = "cmake --build --preset release --target render_figures"
MACHINE_PLOTS = {"ratios": ROOT / "docs" / "machines_ratios.svg",
                 "exchanges": ROOT / "docs" / "machines_exchanges.svg"}

# The builds that the docs compare: the default first, each other against it.
CANDIDATES = "gcc-O2-lto,gcc-O2,gcc-O3-lto"
# A slowdown to show what comparing two commits says, made from HEAD.
SLOWDOWN = HERE / "branchy_partition.patch"
SLOWDOWN_COMMIT = "Put the partition loop's branch back"
# Limits on the address space under which each program cannot start its
# work, so that its own check says what it needs.
TOO_LITTLE_MEMORY = {"corvel": 8000000, "dunmark": 500000000}

# The short record's cases: the quicksorts against the library's at 10^7
# on dunmark's data, and the bubble sorts and their branch-free twins at a
# size whose list fits a 32 KiB L1d, one whose list fits a 1 MiB L2, and
# corvel's own.
SHORT_QUICK = ["StackQuick", "RecursiveQuick", "StdSort", "PdqSortBranchless"]
SHORT_BUBBLE = ["ArrayBubble", "ListBubble", "ArrayBubbleBranchless", "ListBubbleBranchless"]
SHORT_FILTER = (f"^(({'|'.join(SHORT_QUICK)})/DunmarkData/10000000|"
                f"({'|'.join(SHORT_BUBBLE)})/(Random/(1024|16384)|CorvelData/100000))/")


class Unknown(Exception):
    """A figure that no method of Figures renders."""


def progress(line):
    print(f"figures: {line}", file=sys.stderr, flush=True)


def git(*args, cwd=ROOT):
    return subprocess.run(["git", *args], cwd=cwd, check=True, capture_output=True,
                          text=True).stdout.strip()


# Counted work.

def counts_digest(counts):
    """A digest of each sort's counted work, whatever else is stored beside it."""
    kept = {name: {key: value for key, value in sort.items() if isinstance(value, int)}
            for name, sort in counts.items()}
    return hashlib.sha256(json.dumps(kept, sort_keys=True).encode()).hexdigest()[:16]


def moved_counts(counts, baseline):
    """A phrase for each count of a sort that both hold and that differs from
    the baseline's by more than the work-counts check's tolerance."""
    return [f"{name} {label} {sort[key]:,} against the baseline's {before[key]:,}"
            for name, sort in counts.items() if (before := baseline["sorts"].get(name))
            for key, label in work_counts.CHECKED.items()
            if abs(sort[key] / before[key] - 1) > work_counts.TOLERANCE]


def staleness(data, baseline):
    """Why a file's figures are not of the work the baseline records, or None.
    Only the sorts the file counted are held to it, so that a sort added since
    marks no machine."""
    counts = data.get("counts")
    if not counts:
        return "it holds no counted work of the build it timed"
    if data["context"].get("counts_digest") != counts_digest(counts):
        return "its counts digest is not that of the counts it holds"
    moved = moved_counts(counts, baseline)
    return f"it timed other work than the baseline's: {'; '.join(moved)}" if moved else None


# Figure markers.

COMMENT = re.compile(r"<!--(.*?)-->", re.S)
LOOKS_LIKE_A_MARKER = re.compile(r"(^|\W)/?fig($|\W)", re.I)
OPENING = re.compile(r" fig (\S+(?: \S+)*) ")
CLOSING = " /fig "


@dataclasses.dataclass
class Span:
    """A figure in a text: its call, its line, and where its value lies."""
    call: str
    line: int
    start: int
    end: int = -1


def figure_spans(text, where):
    """The figures in `text`, and a line for each marker that does not
    parse: one written otherwise, one opened inside another, one never
    closed, a closing one that closes nothing."""
    spans, problems, opened = [], [], None
    for comment in COMMENT.finditer(text):
        body = comment.group(1)
        if not LOOKS_LIKE_A_MARKER.search(body):
            continue
        line = text.count("\n", 0, comment.start()) + 1
        call = OPENING.fullmatch(body)
        if call and opened:
            problems.append(f"{where}:{line}: a figure opens inside {opened.call}, opened on "
                            f"line {opened.line}")
        elif call:
            opened = Span(call.group(1), line, comment.end())
        elif body == CLOSING and opened:
            opened.end = comment.start()
            spans.append(opened)
            opened = None
        elif body == CLOSING:
            problems.append(f"{where}:{line}: <!-- /fig --> closes no figure")
        else:
            problems.append(f"{where}:{line}: a figure marker that does not parse: "
                            f"<!--{body}--> (write <!-- fig NAME ARGS --> and <!-- /fig -->)")
    if opened:
        problems.append(f"{where}:{opened.line}: {opened.call} is never closed")
    return spans, problems


def markdown_files(root=ROOT):
    """Every Markdown file of the project, outside build trees."""
    return sorted(path for path in root.rglob("*.md")
                  if path.relative_to(root).parts[0] not in ("build", ".git"))


def render_text(text, figures, where="text"):
    """`text` with every figure in it rendered anew; MarkerError where a marker does not parse."""
    spans, problems = figure_spans(text, where)
    if problems:
        raise MarkerError("\n".join(problems))
    for span in reversed(spans):
        text = text[:span.start] + figures.render(span.call) + text[span.end:]
    return text


class MarkerError(Exception):
    """Figure markers that do not parse, a line each."""


def stale(path, figures, root=ROOT):
    """A line for each problem with the figures of the doc at `path`."""
    text = path.read_text()
    where_file = path.relative_to(root) if path.is_relative_to(root) else path.name
    spans, problems = figure_spans(text, where_file)
    yield from problems
    for span in spans:
        where = f"{where_file}:{span.line}: {span.call}"
        try:
            if text[span.start:span.end] != figures.render(span.call):
                yield f"{where} is not what the results files render"
        except Unknown:
            yield f"{where} is no figure: Figures has no method of that name"
        except Exception as error:  # noqa: BLE001  (a bug in a figure fails the check by name)
            yield f"{where} failed: {type(error).__name__}: {error}"


# A time or a machine stated in a source where a reader meets it: a
# progress line, a message, a help text, a comment.
TYPED_FIGURE = re.compile(
    r"\babout (an?|one|two|three|four|five|ten|\d+(\.\d+)?) (hours?|minutes?|min|s|seconds?)\b"
    r"|\bon (the|an?) (Intel|AMD)\b", re.I)
TYPED_FIGURE_SOURCES = ("*.txt", "*.cmake", "*.py", "*.sh", "*.in", "*.cpp", "*.hpp",
                        "CMakePresets.json", ".ci/*")


def typed_figures(root=ROOT):
    """A line for each time or machine typed into a source, where only a results file may say it."""
    paths = {path for pattern in TYPED_FIGURE_SOURCES for path in root.rglob(pattern)
             if path.is_file() and path.relative_to(root).parts[0] not in ("build", ".git")}
    for path in sorted(paths):
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            if TYPED_FIGURE.search(line):
                yield (f"{path.relative_to(root)}:{number}: a time or machine typed by hand: "
                       f"{line.strip()} (say it without a number, or render it from a results "
                       "file)")


def check(files, baseline, docs, root=ROOT, docs_machine=DOCS_MACHINE):
    """Lines that say what is wrong with the docs' figures; none when all is well."""
    problems = []
    if docs_machine not in files:
        problems.append(f"no results file for the docs' machine, {docs_machine}")
    else:
        cause = staleness(files[docs_machine], baseline)
        if cause:
            problems.append(f"{docs_machine}.json, the docs' machine: {cause}. Measure the "
                            f"figures again with `{MEASURE}`")
    figures = Figures(files.get(docs_machine, {}), baseline, files)
    edited = [line for path in docs for line in stale(path, figures, root)]
    if edited:
        problems += edited + [f"the docs' figures are written from docs/results/ by "
                              f"`{RENDER}`, not by hand"]
    return problems + list(typed_figures(root))


def load_results(directory=RESULTS):
    return {path.stem: json.loads(path.read_text())
            for path in sorted(directory.glob("*.json"))}


# Measuring.

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


def machine_name(context):
    """'amd-epyc-f25-m17': the CPU's name, family and model, which together
    are one machine."""
    words = re.sub(r"\(r\)|\(tm\)|\bcpu\b|\bprocessor\b", " ", context["cpu"].lower())
    name = "-".join(re.findall(r"[a-z0-9]+", words.split("@")[0]))
    return f"{name or 'unknown'}-f{context['family']}-m{context['model']}"


def compare_builds(*args, expect_slower=False):
    """What compare_builds.py finds, as data. Status 1 (slower) is taken
    only where `expect_slower` and every sort was compared."""
    with tempfile.NamedTemporaryFile("r", suffix=".json") as out:
        run = subprocess.run([str(COMPARE_BUILDS), *args, "--json", out.name], cwd=ROOT,
                             stdout=subprocess.DEVNULL)
        found = json.loads(out.read() or "{}")
    complete = found.get("status") == run.returncode and all(
        "ratio" in sort for c in found.get("comparisons", []) for sort in c["sorts"].values())
    if run.returncode == 0 or (run.returncode == 1 and expect_slower and complete):
        return found
    sys.exit(f"figures: compare_builds.py {' '.join(args)} exited with status "
             f"{run.returncode}{'' if complete else ', its results incomplete'}")


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


def reduced(results, shapes=None):
    """Of a sortbench run, what the docs quote: each case on random input and
    on the programs' data (or on `shapes`), its time in ms and per element in
    ns as [median, fastest, slowest], and its counters' medians."""
    context = results["context"]
    kept = shapes or [json.loads(context["shapes"])[0]] + json.loads(context["program_data"])
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


def counted_work(build):
    """Each sort's work as Callgrind counts it for the build that is timed,
    and a line on how it stands against the baseline."""
    program = build / "bench" / "work_counts" / "work_counts"
    run = subprocess.run([sys.executable, str(HERE.parent / "work_counts" / "work_counts.py"),
                          "--program", str(program), "--json"], capture_output=True, text=True,
                         check=True)
    counts = json.loads(run.stdout)["sorts"]
    moved = moved_counts(counts, json.loads(BASELINE.read_text()))
    if moved:
        progress("the build that is timed does other work than the baseline records: "
                 + "; ".join(moved) + ". Its figures will be marked as of other work")
    return counts


def too_little_memory(build):
    """What each program says, in its own words, under an address space too small for it."""
    said = {}
    for program, limit in TOO_LITTLE_MEMORY.items():
        run = subprocess.run([str(build / program / program)], capture_output=True,
                             preexec_fn=lambda limit=limit: resource.setrlimit(
                                 resource.RLIMIT_AS, (limit, limit)))
        message = run.stderr.decode("gbk").strip()
        if run.returncode == 0 or not re.search(r"\d+ MB$", message):
            sys.exit(f"figures: {program} under a limit of {limit} bytes did not refuse with "
                     f"its need: status {run.returncode}, {message!r}")
        said[program] = message
    return said


def missing_tools(build, short):
    """The tools a record needs that this machine lacks, a phrase each."""
    sortbench_binary = build / "bench" / "sortbench" / "sortbench"
    needs = {"gnuplot (apt-get install gnuplot-nox)": shutil.which("gnuplot"),
             "Valgrind (apt-get install valgrind)": shutil.which("valgrind"),
             "GNU time (apt-get install time)": pathlib.Path("/usr/bin/time").exists(),
             "SciPy for /usr/bin/python3 (apt-get install python3-scipy)":
                 subprocess.run(["/usr/bin/python3", "-c", "import scipy"],
                                capture_output=True).returncode == 0,
             f"sortbench in {build} (apt-get install libbenchmark-dev, then build)":
                 sortbench_binary.exists(),
             f"work_counts in {build} (apt-get install valgrind, then configure again)":
                 (build / "bench" / "work_counts" / "work_counts").exists()}
    if sortbench_binary.exists():
        listed = subprocess.run([str(sortbench_binary), "--benchmark_list_tests"],
                                capture_output=True, text=True).stdout
        needs["sortbench with pdqsort.h (apt-get install pdqsort-dev, then configure "
              "again)"] = "PdqSortBranchless/" in listed
    if short:
        needs.pop(next(name for name in needs if name.startswith("gnuplot")))
    return [name for name, present in needs.items() if not present]


def record_steps(build, short):
    """(name, what, how) of each step of a record, in order."""
    binary = build / "bench" / "sortbench" / "sortbench"
    counts = ("counts", "each sort's work in this build, under Callgrind (work_counts.py)",
              lambda: counted_work(build))
    if short:
        return [counts,
                ("programs", "both programs 5 times, interleaved (compare_builds.py --runs 5)",
                 lambda: compare_builds("--runs", "5", "--build-dir", str(build))),
                ("short_run", "sortbench: the quicksorts at 10^7, the bubble sorts at three "
                              "sizes, 3 repetitions, on one core",
                 lambda: short_run(binary))]
    full = build / "bench" / "figures" / "sortbench_full.json"

    def slowdown():
        slow = slowdown_commit()
        return compare_builds("--commits", f"HEAD,{slow}", "--programs", "dunmark", "--runs",
                              "3", "--fail-slower", "5", expect_slower=True)

    def full_run():
        full.parent.mkdir(parents=True, exist_ok=True)
        summary = sortbench(binary, full)
        plots = [str(ROOT / "docs" / name) for name in ("sortbench.svg", "sortbench_work.svg")]
        subprocess.run([sys.executable, str(SORTBENCH_SCRIPTS / "plot_sortbench.py"),
                        str(full), *plots], check=True, stdout=subprocess.DEVNULL)
        return {"summary": summary, **reduced(json.loads(full.read_text()))}

    def quick_look():
        with tempfile.TemporaryDirectory() as scratch:
            return {"summary": sortbench(binary, pathlib.Path(scratch) / "quick.json",
                                         "--quick")}

    return [counts,
            ("limits", "what each program says under too small a memory limit",
             lambda: too_little_memory(build)),
            ("programs", "both programs 10 times, interleaved (compare_builds.py --runs 10)",
             lambda: compare_builds("--runs", "10", "--build-dir", str(build))),
            ("candidates", f"three builds, 3 rounds ({CANDIDATES})",
             lambda: compare_builds("--runs", "3", "--candidates", CANDIDATES)),
            ("slowdown", f"HEAD against HEAD with {SLOWDOWN.name} (compare_builds.py --commits)",
             slowdown),
            ("quick_look", "sortbench's quick look (sortbench --quick)", quick_look),
            ("full_run", f"sortbench's full run, on one core, into {full}", full_run)]


def short_run(binary):
    with tempfile.TemporaryDirectory() as scratch:
        out = pathlib.Path(scratch) / "short.json"
        sortbench(binary, out, f"--benchmark_filter={SHORT_FILTER}",
                  "--benchmark_repetitions=3")
        return reduced(json.loads(out.read_text()), ["Random", "CorvelData", "DunmarkData"])


def starting_data(kept, context, short):
    """What a record starts from, given what the machine's file holds: that
    file, to resume, where an unfinished record of the same kind, commit and
    compiler left it; otherwise nothing, so that every figure in the file
    comes from one commit. A short record refuses to replace a full one,
    whose other figures it would leave from another commit."""
    if kept and short and kept["context"].get("record", "full") == "full":
        sys.exit(f"figures: this machine's file holds a full record, at "
                 f"{kept['context']['commit']}: run the full one (`{MEASURE}`), which measures "
                 "all that the short one does, so that its figures stay of one commit")
    if kept and not kept.get("complete") and all(
            kept["context"].get(key) == context[key] for key in ("commit", "record", "compiler")):
        progress(f"resuming after the steps {', '.join(kept['seconds'])}")
        return kept
    return {"context": context, "seconds": {}, "complete": False}


def measure(build, compiler, short, results=RESULTS):
    """Every measurement a record makes, into this machine's file."""
    missing = missing_tools(build, short)
    if missing:
        sys.exit("figures: this machine lacks what the record needs: " + ", ".join(missing))
    if git("status", "--porcelain"):
        sys.exit("figures: the checkout has uncommitted changes: the figures name the commit "
                 "they were measured at, so commit first")
    kind = "short" if short else "full"
    context = {**machine(), "compiler": compiler, "commit": git("rev-parse", "--short", "HEAD"),
               "date": datetime.date.today().isoformat(), "record": kind}
    path = results / f"{machine_name(context)}.json"
    data = starting_data(json.loads(path.read_text()) if path.exists() else None, context, short)
    results.mkdir(parents=True, exist_ok=True)
    started = time.monotonic() - sum(data["seconds"].values())
    for name, what, run in record_steps(build, short):
        if name in data["seconds"]:
            continue
        progress(f"{what} ...")
        start = time.monotonic()
        data[name] = run()
        data["seconds"][name] = round(time.monotonic() - start)
        if name == "counts":
            data["context"]["counts_digest"] = counts_digest(data["counts"])
        path.write_text(json.dumps(data, indent=1) + "\n")
    data["seconds"]["all"] = round(time.monotonic() - started)
    data["complete"] = True
    path.write_text(json.dumps(data, indent=1) + "\n")
    shown = path.relative_to(ROOT) if path.is_relative_to(ROOT) else path
    progress(f"wrote {shown} in {duration(data['seconds']['all'])}")


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
    """Each figure the docs quote, rendered from the docs' machine's file
    (`data`), from every machine's file for the comparison across machines,
    and, for counts, from the counted-work baseline, which the check holds
    to the counts the times were measured with. `<!-- fig NAME ARGS -->`
    calls the method NAME with ARGS, the sorts, shapes and sizes the doc
    speaks of."""

    def __init__(self, data, baseline, machines=None):
        self.data = data
        self.baseline = baseline
        self.counts = baseline["sorts"]
        self.machines = machines or {}

    def render(self, call):
        name, *args = call.split()
        method = getattr(type(self), name, None)
        if name.startswith("_") or name == "render" or not callable(method):
            raise Unknown(call)
        value = method(self, *args)
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

    def cache(self, level, context=None):
        """'1 MiB': a cache's size per instance, from lscpu's '2 MiB (2 instances)'."""
        size, unit, instances = re.match(r"([\d.]+) (\w+)(?: \((\d+) instances?\))?",
                                         (context or self.data["context"])["caches"]
                                         [level]).groups()
        return f"{number(float(size) / int(instances or 1))} {unit}"

    def results_file(self):
        return f"`docs/results/{DOCS_MACHINE}.json`"

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
                       self._peak(self._program(p))]
                      for p in ("corvel", "dunmark")])

    @staticmethod
    def _peak(program):
        return f"{number(megabytes(max(program['peak_bytes'])))} MB"

    def need(self, program):
        """What a program says it needs, in its own message, as '816 MB'."""
        return re.search(r"(\d+ MB)$", self.data["limits"][program]).group(1)

    def run_table(self):
        rows = []
        for program in ("corvel", "dunmark"):
            p = self._program(program)
            rows.append([program] + [f"{name}: {with_range(times)}" for name, times in
                                     zip(p["sorts"], (p["first"], p["second"]))]
                        + [with_range(p["wall_seconds"], "s", 1),
                           self._peak(p)])
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

    def case(self, sort, shape, size, field, digits=None):
        return number(self._field(sort, shape, size, field),
                      digits if digits is None else int(digits))

    def case_ratio(self, sort, other, shape, size, field):
        return number(self._field(sort, shape, size, field)
                      / self._field(other, shape, size, field))

    def branch_share(self, sort, twin, shape, size):
        """The share of a sort's median time that its branch costs: what its
        branch-free twin saves, or how much longer the twin takes."""
        saved = 1 - self._field(twin, shape, size, "ms") / self._field(sort, shape, size, "ms")
        return f"{saved:.0%}" if saved >= 0 else f"none (the twin takes {-saved:.0%} longer)"

    def branch_table(self, *shapes_and_sizes):
        """The bubble sorts and their twins at each (shape, size): median and
        range, each branch's share of its sort's time, and list over array
        with and without the branch."""
        cases = list(zip(shapes_and_sizes[::2], shapes_and_sizes[1::2]))
        rows = [[sort] + [with_range(self._case(sort, *case)["ms"], "ms",
                                     0 if self._field(sort, *case, "ms") >= 100 else 2)
                          for case in cases] for sort in SHORT_BUBBLE]
        for real, twin in zip(SHORT_BUBBLE[:2], SHORT_BUBBLE[2:]):
            rows.append([f"{real}: its branch's share"]
                        + [self.branch_share(real, twin, *case) for case in cases])
        for label, array, listed in [("list / array, with the branch", *SHORT_BUBBLE[:2]),
                                     ("list / array, without", *SHORT_BUBBLE[2:])]:
            rows.append([label] + [self.case_ratio(listed, array, *case, "ms")
                                   for case in cases])
        return table(["", *(f"{number(int(size))}, {shape}" for shape, size in cases)], rows)

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

    # Every machine side by side: each machine's file, whatever record made it.

    def _machines(self):
        """(name, data) of every machine, in the order of their CPUs' names,
        families and models."""
        def order(item):
            context = item[1]["context"]
            return (context["cpu"], *(int(context[key]) if str(context[key]).isdigit() else -1
                                       for key in ("family", "model")))
        return sorted(self.machines.items(), key=order)

    def _label(self, data):
        """'AMD EPYC (family 25, model 17)', marked where its work is not the baseline's."""
        c = data["context"]
        mark = STALE_MARK if staleness(data, self.baseline) else ""
        return f"{c['cpu']} (family {c['family']}, model {c['model']}){mark}"

    def _stale_note(self):
        stale_ones = [name for name, data in self.machines.items()
                      if staleness(data, self.baseline)]
        return (f"\n\n{STALE_MARK.strip()} Measured at its commit, before the sorts' counted work "
                "changed: its times are of other work than today's.") if stale_ones else ""

    def machines_list(self):
        """'AMD EPYC (family 25, model 17)' and each other CPU that has a file."""
        labels = [self._label(data) for _, data in self._machines()]
        return ", ".join(labels[:-1]) + (" and " if len(labels) > 1 else "") + labels[-1]

    def machines_table(self):
        """A row per machine: its CPU, caches and build, then each program's
        two medians, corvel's ratio with its interval and dunmark's verdict."""
        rows = []
        for _, data in self._machines():
            c = data["context"]
            p = data["programs"]["programs"]
            corvel, dunmark = p["corvel"], p["dunmark"]
            rows.append([self._label(data),
                         f"{self.cache('L1d', c)}, {self.cache('L2', c)}",
                         f"{c['compiler']}, {c['date']}, `{c['commit']}`",
                         f"{statistics.median(corvel['first']):.0f}, "
                         f"{statistics.median(corvel['second']):.0f} ms",
                         interval(corvel.get("ratio")),
                         f"{statistics.median(dunmark['first']):.0f}, "
                         f"{statistics.median(dunmark['second']):.0f} ms",
                         short_verdict(dunmark)])
        return table(["CPU", "L1d, L2 per core", "compiler, date, commit", "corvel: array, list",
                      "list / array (95% CI)", "dunmark: stack, recursive", "dunmark"],
                     rows) + self._stale_note()

    def machines_ratios_table(self):
        """A row per machine, a column per ratio of RATIOS, each with its
        interval (programs) or range (sortbench); '–' where it was not measured."""
        rows = [[self._label(data)] + [interval(ratio(data)) for _, ratio in RATIOS]
                for _, data in self._machines()]
        return table(["CPU", *(name for name, _ in RATIOS)], rows) + self._stale_note()


# The stale mark of a machine measured on other work than today's.
STALE_MARK = " †"


def cases_of(data):
    """Every sortbench case a machine's file holds, from either record."""
    return {**data.get("short_run", {}).get("cases", {}),
            **data.get("full_run", {}).get("cases", {})}


def exchange_time(data, sort, size):
    """A bubble sort's median ns per exchange at `size`, on corvel's data at
    100 000 and on random input otherwise; None where not measured."""
    shape = "CorvelData" if size == 100000 else "Random"
    case = cases_of(data).get(f"{sort}/{shape}/{size}")
    return case["counters"].get("ns_per_exchange") if case else None


def program_ratio(program):
    """The ratio of a program's second time to its first, with its 95% interval."""
    def ratio(data):
        found = data["programs"]["programs"][program].get("ratio")
        return found and (found["ratio"], found["low"], found["high"])
    return ratio


def case_ratio(sort, other, shape, size):
    """The ratio of two sortbench medians, and the range their fastest and
    slowest repetitions allow."""
    def ratio(data):
        cases = cases_of(data)
        a, b = cases.get(f"{sort}/{shape}/{size}"), cases.get(f"{other}/{shape}/{size}")
        if not (a and b):
            return None
        return a["ms"][0] / b["ms"][0], a["ms"][1] / b["ms"][2], a["ms"][2] / b["ms"][1]
    return ratio


# What the comparison across machines shows of each: the programs' own
# answers, the quicksorts against the library's best, and what the bubble
# sorts' branch costs.
RATIOS = [("corvel: list / array", program_ratio("corvel")),
          ("dunmark: recursive / stack", program_ratio("dunmark")),
          ("stack quicksort / std::sort, 10^7", case_ratio("StackQuick", "StdSort",
                                                            "DunmarkData", 10000000)),
          ("stack quicksort / pdqsort_branchless, 10^7",
           case_ratio("StackQuick", "PdqSortBranchless", "DunmarkData", 10000000)),
          ("array bubble sort / its branch-free twin, 10^5",
           case_ratio("ArrayBubble", "ArrayBubbleBranchless", "CorvelData", 100000)),
          ("list bubble sort / its branch-free twin, 10^5",
           case_ratio("ListBubble", "ListBubbleBranchless", "CorvelData", 100000))]


def interval(ratio):
    """'1.79 (1.77–1.81)', or '–' where nothing was measured."""
    if not ratio:
        return "–"
    if isinstance(ratio, dict):
        ratio = ratio["ratio"], ratio["low"], ratio["high"]
    return f"{ratio[0]:.2f} ({ratio[1]:.2f}–{ratio[2]:.2f})"


def short_verdict(program):
    """What a program's difference shows, in a few words."""
    first, second = program["sorts"]
    d = program["difference"]
    if d["high"] - d["low"] < 1:
        return "no spread measured"
    if d["low"] > 0:
        return f"{second} slower by {d['median']:.0f} ms"
    if d["high"] < 0:
        return f"{first} slower by {-d['median']:.0f} ms"
    return "no difference shown"


def machine_plots(machines, targets=MACHINE_PLOTS):
    """Draws the ratios of RATIOS, a panel each with a point per machine and
    its interval, and the bubble sorts' time per exchange against size, a
    line per machine. Needs gnuplot."""
    ordered = Figures({}, {"sorts": {}}, machines)._machines()
    names = [name for name, _ in ordered]
    tics = ", ".join(f'"{name}" {i}' for i, name in enumerate(names, 1))
    with tempfile.TemporaryDirectory() as scratch:
        panels = []
        for number_, (title, ratio) in enumerate(RATIOS):
            points = [(i, *found) for i, (_, data) in enumerate(ordered, 1)
                      if (found := ratio(data))]
            dat = pathlib.Path(scratch) / f"ratio{number_}.dat"
            dat.write_text("".join(f"{i} {r} {low} {high}\n" for i, r, low, high in points))
            # An underscore would be a subscript in gnuplot's enhanced text.
            escaped = title.replace("_", "\\\\_")
            panels += [f'set title "{escaped}"',
                       f"plot '{dat}' using 1:2:3:4 with yerrorbars pt 7 lc rgb '#1f77b4' "
                       "notitle" if points else "set multiplot next"]
        gnuplot([f"set terminal svg size 1200,{300 * ((len(RATIOS) + 2) // 3) + 60} dynamic",
                 f"set output '{targets['ratios']}'",
                 f"set multiplot layout {(len(RATIOS) + 2) // 3},3 title \"Each ratio on each "
                 "CPU, with its 95% interval (programs) or range (sortbench)\"",
                 f"set xrange [0.5:{len(names) + 0.5}]", f"set xtics ({tics}) rotate by -20",
                 "set grid ytics", "set yrange [0:*]", *panels, "unset multiplot"])
        sorts = SHORT_BUBBLE
        lines = [f"set terminal svg size 1200,800 dynamic",
                 f"set output '{targets['exchanges']}'",
                 "set multiplot layout 2,2 title \"Bubble sorts: median ns per exchange against "
                 "size, random input and corvel's data, a line per machine\"",
                 "set logscale x", "set format x '10^{%L}'", "set grid",
                 "set xlabel 'elements'", "set ylabel 'ns per exchange'", "set key bottom left",
                 "set yrange [0:*]"]
        for sort in sorts:
            plots = []
            for i, (name, data) in enumerate(ordered):
                sizes = sorted({int(key.split("/")[2]) for key in cases_of(data)
                                if key.startswith(f"{sort}/Random/")} | {100000})
                points = [(size, ns) for size in sizes if (ns := exchange_time(data, sort, size))]
                if points:
                    dat = pathlib.Path(scratch) / f"{sort}-{name}.dat"
                    dat.write_text("".join(f"{size} {ns}\n" for size, ns in points))
                    colour = PALETTE[i % len(PALETTE)]
                    plots.append(f"'{dat}' using 1:2 with linespoints pt 7 lc rgb '{colour}' "
                                 f"title '{name}'")
            lines += [f'set title "{sort}"',
                      "plot " + ", ".join(plots) if plots else "set multiplot next"]
        gnuplot(lines + ["unset multiplot"])


def gnuplot(script):
    subprocess.run(["gnuplot"], input="\n".join(script), text=True, check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("action", choices=("measure", "render", "check"))
    parser.add_argument("--build-dir", type=pathlib.Path, default=ROOT / "build" / "release")
    parser.add_argument("--compiler", default="unknown compiler")
    parser.add_argument("--short", action="store_true",
                        help="measure only what the comparison across machines shows")
    parser.add_argument("--results-dir", type=pathlib.Path, default=RESULTS,
                        help="where the machines' files are, for a trial record")
    args = parser.parse_args()
    if args.short and args.action != "measure":
        parser.error("--short goes with measure")
    if args.action == "measure":
        measure(args.build_dir.resolve(), args.compiler, args.short, args.results_dir)
    files = load_results(args.results_dir)
    baseline = json.loads(BASELINE.read_text())
    docs = markdown_files()
    if args.action == "check":
        problems = check(files, baseline, docs)
        print("\n".join(problems) or "every figure is the results files'")
        return 1 if problems else 0
    figures = Figures(files[DOCS_MACHINE], baseline, files)
    try:
        rendered = {path: render_text(path.read_text(), figures, path.relative_to(ROOT))
                    for path in docs}
    except (Unknown, MarkerError) as error:
        sys.exit(f"figures: nothing rendered: {error}")
    for path, text in rendered.items():
        if text != path.read_text():
            path.write_text(text)
            progress(f"rendered {path.relative_to(ROOT)}")
    if shutil.which("gnuplot"):
        machine_plots(files)
        progress("drew " + ", ".join(str(p.relative_to(ROOT)) for p in MACHINE_PLOTS.values()))
    else:
        progress("no gnuplot (apt-get install gnuplot-nox): the plots across machines are "
                 "not drawn")
    return 0


if __name__ == "__main__":
    sys.exit(main())
