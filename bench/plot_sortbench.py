#!/usr/bin/env python3
"""Plots sortbench's JSON results, as two pictures.

    plot_sortbench.py sortbench.json times.svg work.svg [--cache L1d=49152 ...]

times: median time per element against size, one panel per sort family
with the standard library's sorts as its baselines, up to the family's
largest size; one line per sort and input shape, a colour per shape
throughout and a dash pattern and point per sort.

work: on random input, median time per unit of work against size (per
exchange for the bubble sorts, per comparison with a pivot for the
quicksorts, per comparison for the baselines), one line per sort. Each cache
level is marked where an int array, and where a list of nodes 32 bytes
apart (as the allocator places corvel's), outgrows it. Cache sizes come from
the JSON's context, or from --cache where the machine did not report them.

Log scales on both axes; .svg or .png by the file name. Needs gnuplot.
"""

import argparse
import collections
import json
import pathlib
import subprocess
import tempfile

# (title, the family's sorts, its baselines)
PANELS = [("Bubble sorts", ("ArrayBubble", "ListBubble", "ScatteredListBubble"),
           ("StdSort", "StdListSort")),
          ("Quicksorts", ("StackQuick", "RecursiveQuick"),
           ("StdSort", "StdStableSort", "StdHeapSort"))]
SHAPE_COLOURS = {"Random": "#1f77b4", "Ascending": "#2ca02c", "Descending": "#d62728",
                 "AllEqual": "#7f7f7f", "FewDistinct": "#9467bd", "OrganPipe": "#ff7f0e"}
# (dash type, point type) per sort: the family's own solid, baselines dashed.
SORT_STYLES = {"ArrayBubble": (1, 7), "ListBubble": (1, 5), "ScatteredListBubble": (1, 9),
               "StackQuick": (1, 7), "RecursiveQuick": (1, 5), "StdSort": (2, 1),
               "StdStableSort": (3, 2), "StdHeapSort": (4, 3), "StdListSort": (2, 1)}
# One colour per sort in the work picture.
SORT_COLOURS = {"ArrayBubble": "#1f77b4", "ListBubble": "#ff7f0e",
                "ScatteredListBubble": "#d62728", "StackQuick": "#2ca02c",
                "RecursiveQuick": "#9467bd", "StdSort": "#8c564b", "StdStableSort": "#e377c2",
                "StdHeapSort": "#7f7f7f", "StdListSort": "#bcbd22"}
BYTES_PER_ELEMENT = {"ints": 4, "nodes": 32}


def median_series(results, counter):
    """{(sort, shape): [(size, counter)]} from the median aggregates."""
    series = collections.defaultdict(list)
    for run in results["benchmarks"]:
        if run.get("aggregate_name") != "median":
            continue
        value = counter(run)
        if value is None:
            continue
        sort, shape, size = run["run_name"].split("/")[:3]
        series[sort, shape].append((int(size), value))
    return {key: sorted(points) for key, points in series.items()}


def per_element_ns(run):
    return run["per_element"] * 1e9 if "per_element" in run else None


def per_work_ns(run):
    return next((value for name, value in run.items() if name.startswith("ns_per_")), None)


def machine(context):
    return f"{context.get('cpu', 'unknown CPU')}, {context.get('compiler', '')}"


def plot_line(scratch, name, points, style):
    data = pathlib.Path(scratch) / f"{name}.dat"
    data.write_text("".join(f"{x} {y}\n" for x, y in points))
    return f"'{data}' using 1:2 {style}"


def times_script(results, scratch):
    series = median_series(results, per_element_ns)
    lines = ["set multiplot layout 2,1",
             "set ylabel 'median time per element (ns)'"]
    for title, sorts, baselines in PANELS:
        largest = max((points[-1][0] for (sort, _), points in series.items()
                       if sort in sorts), default=0)
        plots = []
        for sort in sorts + baselines:
            for shape, colour in SHAPE_COLOURS.items():
                points = [p for p in series.get((sort, shape), []) if p[0] <= largest]
                if points:
                    dash, point = SORT_STYLES[sort]
                    plots.append(plot_line(
                        scratch, f"{title}-{sort}-{shape}", points,
                        f"with linespoints dt {dash} pt {point} lc rgb '{colour}' "
                        f"title '{sort} {shape}'"))
        lines.append(f"set title '{title} -- {machine(results['context'])}'")
        lines.append("plot " + ", ".join(plots) if plots else "unset title")
    lines.append("unset multiplot")
    return lines


def work_script(results, scratch, caches):
    series = median_series(results, per_work_ns)
    lines = ["set ylabel 'median time per unit of work (ns)'",
             'set title "Random input: time per exchange (bubble sorts), per comparison with '
             f'a pivot (quicksorts),\\nper comparison (std) -- {machine(results["context"])}"']
    sizes = [size for (_, shape), points in series.items() if shape == "Random"
             for size, _ in points]
    for cache, size in caches.items():
        for kind, width in BYTES_PER_ELEMENT.items():
            x = size // width
            if sizes and min(sizes) < x < max(sizes):
                lines.append(f"set arrow from {x}, graph 0 to {x}, graph 1 nohead dt 3 "
                             "lc rgb '#999999'")
                lines.append(f"set label '{cache} full of {kind}' at {x}, graph 0.98 right "
                             "rotate by 90 offset -0.5,0 font ',9' textcolor rgb '#777777'")
    plots = [plot_line(scratch, f"work-{sort}", series[sort, "Random"],
                       f"with linespoints dt {SORT_STYLES[sort][0]} pt {SORT_STYLES[sort][1]} "
                       f"lc rgb '{colour}' title '{sort}'")
             for sort, colour in SORT_COLOURS.items() if (sort, "Random") in series]
    lines.append("plot " + ", ".join(plots))
    return lines


def render(target, height, body):
    terminal = (f"pngcairo size 1100,{height}" if target.suffix == ".png"
                else f"svg size 1100,{height} dynamic")
    script = [f"set terminal {terminal}", f"set output '{target}'", "set logscale xy",
              "set grid", "set key outside right top", "set xlabel 'elements'"] + body
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
        render(args.times, 1600, times_script(results, scratch))
        render(args.work, 700, work_script(results, scratch, caches))


if __name__ == "__main__":
    main()
