#!/usr/bin/env python3
"""Plots sortbench's JSON results: median time per element against size.

    plot_sortbench.py sortbench.json sortbench.svg   (or .png)

Log scales on both axes, one panel per sort family with the standard
library's sorts as its baselines, up to the family's largest size; one line
per sort and input shape, a colour per shape throughout and a dash pattern
and point per sort. Needs gnuplot.
"""

import collections
import json
import pathlib
import subprocess
import sys
import tempfile

# (title, the family's sorts, its baselines)
PANELS = [("Bubble sorts", ("ArrayBubble", "ListBubble"), ("StdSort", "StdListSort")),
          ("Quicksorts", ("StackQuick", "RecursiveQuick"),
           ("StdSort", "StdStableSort", "StdHeapSort"))]
SHAPE_COLOURS = {"Random": "#1f77b4", "Ascending": "#2ca02c", "Descending": "#d62728",
                 "AllEqual": "#7f7f7f", "FewDistinct": "#9467bd", "OrganPipe": "#ff7f0e"}
# (dash type, point type) per sort: the family's own solid, baselines dashed.
SORT_STYLES = {"ArrayBubble": (1, 7), "ListBubble": (1, 5), "StackQuick": (1, 7),
               "RecursiveQuick": (1, 5), "StdSort": (2, 1), "StdStableSort": (3, 2),
               "StdHeapSort": (4, 3), "StdListSort": (2, 1)}


def median_series(results):
    """{(sort, shape): [(size, ns per element)]} from the median aggregates."""
    series = collections.defaultdict(list)
    for run in results["benchmarks"]:
        if run.get("aggregate_name") != "median" or "per_element" not in run:
            continue
        sort, shape, size = run["run_name"].split("/")[:3]
        series[sort, shape].append((int(size), run["per_element"] * 1e9))
    return {key: sorted(points) for key, points in series.items()}


def main():
    source, target = map(pathlib.Path, sys.argv[1:3])
    series = median_series(json.loads(source.read_text()))
    terminal = ("pngcairo size 1100,1600" if target.suffix == ".png"
                else "svg size 1100,1600 dynamic")
    with tempfile.TemporaryDirectory() as scratch:
        lines = [f"set terminal {terminal}", f"set output '{target}'",
                 "set multiplot layout 2,1", "set logscale xy", "set grid",
                 "set key outside right top", "set xlabel 'elements'",
                 "set ylabel 'median time per element (ns)'"]
        for title, sorts, baselines in PANELS:
            largest = max((points[-1][0] for (sort, _), points in series.items()
                           if sort in sorts), default=0)
            plots = []
            for sort in sorts + baselines:
                for shape, colour in SHAPE_COLOURS.items():
                    points = [p for p in series.get((sort, shape), []) if p[0] <= largest]
                    if not points:
                        continue
                    data = pathlib.Path(scratch) / f"{title}-{sort}-{shape}.dat"
                    data.write_text("".join(f"{size} {ns}\n" for size, ns in points))
                    dash, point = SORT_STYLES[sort]
                    plots.append(f"'{data}' using 1:2 with linespoints dt {dash} pt {point} "
                                 f"lc rgb '{colour}' title '{sort} {shape}'")
            lines.append(f"set title '{title}'")
            lines.append("plot " + ", ".join(plots) if plots else "unset title")
        lines.append("unset multiplot")
        subprocess.run(["gnuplot"], input="\n".join(lines), text=True, check=True)


if __name__ == "__main__":
    main()
