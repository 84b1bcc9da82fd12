#!/usr/bin/env python3
"""Plots sortbench's JSON results, as two pictures.

    plot_sortbench.py sortbench.json times.svg work.svg [--cache L1d=49152 ...]

The sorts, their kinds and units of work, the shapes and the programs'
data are those that sortbench names in the results' context; each sort
gets a colour by its place in that list.

times: median time per element against size, one small panel per input
shape, one line per sort in a colour of its own in every panel, with bars
from the fastest repetition to the slowest; the library sorts, which are
the baselines, thinner and dashed. The random panel also shows, as open
circles, each sort at the programs' own sizes on the data the programs draw.

work: on random input, median time per unit of work against size (each
sort's unit in the key), one line per sort in the same colours, with the
programs' sizes as open circles. Each cache level is marked
where an int array, and where a list of nodes 32 bytes apart (as the
allocator places corvel's), outgrows it. Cache sizes come from the JSON's
context, or from --cache where the machine did not report them.

Log scales on both axes; .svg or .png by the file name. Needs gnuplot.
"""

import argparse
import collections
import dataclasses
import json
import pathlib
import subprocess
import sys
import tempfile

# Colours given to the sorts in the order sortbench lists them, the strong
# ones first, again from the first where there are more sorts.
PALETTE = ("#1f77b4", "#ff7f0e", "#d62728", "#2ca02c", "#9467bd", "#17becf", "#8c564b",
           "#e377c2", "#7f7f7f", "#bcbd22", "#aec7e8", "#98df8a", "#ff9896", "#c5b0d5")
BYTES_PER_ELEMENT = {"ints": 4, "nodes": 32}


@dataclasses.dataclass
class Catalogue:
    """What sortbench says of the sorts and shapes it ran: each sort as
    {"name", "kind", "baselines", "unit"}, kind "" for a library sort."""
    sorts: list
    shapes: list
    program_data: list

    @staticmethod
    def of(results):
        context = results["context"]
        if "sorts" not in context:
            sys.exit("the results name no sorts in their context: run today's sortbench")
        return Catalogue(*(json.loads(context[key]) for key in ("sorts", "shapes",
                                                                   "program_data")))

    def colour(self, name):
        names = [sort["name"] for sort in self.sorts]
        return PALETTE[names.index(name) % len(PALETTE)]

    def style(self, sort):
        """Solid and thick for the project's sorts, dashed and thin for the baselines."""
        line = "dt 1 lw 2" if sort["kind"] else "dt 2 lw 1"
        return f"{line} pt 7 ps 0.5 lc rgb '{self.colour(sort['name'])}'"


def is_median(run):
    """The median of a case's repetitions, or its only run where it had one."""
    if run["repetitions"] == 1:
        return run["run_type"] == "iteration"
    return run.get("aggregate_name") == "median"


def median_series(results, counter):
    """{(sort, shape): [(size, median, lowest, highest)]} of a counter over the
    repetitions; a single run's is its own lowest and highest."""
    values = collections.defaultdict(dict)
    for run in results["benchmarks"]:
        statistic = "median" if is_median(run) else run.get("aggregate_name")
        value = counter(run)
        if statistic in ("median", "min", "max") and value is not None:
            sort, shape, size = run["run_name"].split("/")[:3]
            values[sort, shape, int(size)][statistic] = value
    series = collections.defaultdict(list)
    for (sort, shape, size), found in values.items():
        median = found["median"]
        series[sort, shape].append((size, median, found.get("min", median),
                                    found.get("max", median)))
    return {key: sorted(points) for key, points in series.items()}


def per_element_ns(run):
    return run["per_element"] * 1e9 if "per_element" in run else None


def per_work_ns(run):
    return next((value for name, value in run.items() if name.startswith("ns_per_")), None)


def timed(results):
    """What each time is: a median of repetitions, or a single run's."""
    repeated = any(run["repetitions"] > 1 for run in results["benchmarks"])
    return "median time" if repeated else "time"


def machine(context):
    """The CPU and compiler, and what kind of run (a quick look or the full run)."""
    return ", ".join(filter(None, (context.get("cpu", "unknown CPU"), context.get("compiler"),
                                   context.get("run"))))


def plot_line(scratch, name, points, style):
    data = pathlib.Path(scratch) / f"{name}.dat"
    data.write_text("".join(" ".join(map(str, point)) + "\n" for point in points))
    return f"'{data}' {style}"


# A key entry for the open circles of program_points: the programs' own
# sizes on the data they draw.
PROGRAM_KEY = "NaN with points pt 6 ps 1.2 lc rgb 'black' title \"as the programs run\""


def program_points(scratch, name, series, catalogue, sort):
    """The sort at the programs' sizes, as open circles without a key entry."""
    points = [p for data in catalogue.program_data for p in series.get((sort, data), [])]
    if not points:
        return []
    return [plot_line(scratch, f"{name}-{sort}-programs", sorted(points),
                      f"using 1:2 with points pt 6 ps 1.2 lc rgb '{catalogue.colour(sort)}' "
                      "notitle")]


def times_script(results, scratch):
    catalogue = Catalogue.of(results)
    series = median_series(results, per_element_ns)
    # One key for all panels, in a column of its own on the right.
    rows = (len(catalogue.shapes) + 2) // 3
    lines = [f"set multiplot layout {rows},3 margins 0.05,0.82,0.07,0.90 spacing 0.06,0.14 "
             f'title "{timed(results).capitalize()} per element\\n'
             f'{machine(results["context"])}"',
             "set key at screen 0.83,0.86 left top Left reverse samplen 3",
             "set ylabel 'ns per element'"]
    random = catalogue.shapes[0]
    for shape in catalogue.shapes:
        plots = []
        for sort in catalogue.sorts:
            name = sort["name"]
            points = series.get((name, shape), [])
            if points:
                # The bars span the repetitions, from the fastest to the slowest.
                plots.append(plot_line(scratch, f"{shape}-{name}", points,
                                       f"using 1:2:3:4 with yerrorlines {catalogue.style(sort)} "
                                       f"title '{name}'"))
            if shape == random:
                plots += program_points(scratch, "times", series, catalogue, name)
        if shape == random:
            plots.append(PROGRAM_KEY)
        else:
            lines.append("unset key")
        lines.append(f'set title "{shape}"')
        lines.append("plot " + ", ".join(plots) if plots else "set multiplot next")
    lines.append("unset multiplot")
    return lines


def work_script(results, scratch, caches):
    catalogue = Catalogue.of(results)
    random = catalogue.shapes[0]
    series = median_series(results, per_work_ns)
    lines = [f"set ylabel '{timed(results)} per unit of work (ns)'",
             "set key outside right top",
             f'set title "{random} input: time per unit of work\\n'
             f'{machine(results["context"])}"']
    sizes = [size for (_, shape), points in series.items()
             if shape in [random] + catalogue.program_data for size, *_ in points]
    for cache, size in caches.items():
        for kind, width in BYTES_PER_ELEMENT.items():
            x = size // width
            if sizes and min(sizes) < x < max(sizes):
                lines.append(f"set arrow from {x}, graph 0 to {x}, graph 1 nohead dt 3 "
                             "lc rgb '#999999'")
                lines.append(f"set label '{cache} full of {kind}' at {x}, graph 0.98 right "
                             "rotate by 90 offset -0.5,0 font ',9' textcolor rgb '#777777'")
    plots = []
    for sort in catalogue.sorts:
        name = sort["name"]
        # "<name>, per pivot comparison" for the unit pivot_comparisons
        title = f"{name}, per {sort['unit'].removesuffix('s').replace('_', ' ')}"
        if (name, random) in series:
            plots.append(plot_line(scratch, f"work-{name}", series[name, random],
                                   f"using 1:2 with linespoints {catalogue.style(sort)} "
                                   f"title '{title}'"))
        plots += program_points(scratch, "work", series, catalogue, name)
    lines.append("plot " + ", ".join(plots + [PROGRAM_KEY]))
    return lines


def render(target, width, height, body):
    terminal = (f"pngcairo size {width},{height}" if target.suffix == ".png"
                else f"svg size {width},{height} dynamic")
    script = [f"set terminal {terminal}", f"set output '{target}'", "set logscale xy",
              "set format xy '10^{%L}'", "set grid", "set xlabel 'elements'"] + body
    subprocess.run(["gnuplot"], input="\n".join(script), text=True, check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("results", type=pathlib.Path)
    parser.add_argument("times", type=pathlib.Path)
    parser.add_argument("work", type=pathlib.Path)
    parser.add_argument("--cache", action="append", default=[], metavar="NAME=BYTES",
                        help="a cache level and its size, where the JSON has none")
    args = parser.parse_args()
    results = json.loads(args.results.read_text())
    caches = {f"L{c['level']}{'d' if c['type'] == 'Data' else ''}": c["size"]
              for c in results["context"].get("caches", []) if c["type"] != "Instruction"}
    caches.update((name, int(size)) for name, size in
                  (entry.split("=") for entry in args.cache))
    with tempfile.TemporaryDirectory() as scratch:
        render(args.times, 1500, 900, times_script(results, scratch))
        print(f"wrote {args.times}: time per element, a panel per input shape")
        render(args.work, 1100, 700, work_script(results, scratch, caches))
        print(f"wrote {args.work}: time per unit of work on random input")


if __name__ == "__main__":
    main()
