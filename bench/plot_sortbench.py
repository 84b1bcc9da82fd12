#!/usr/bin/env python3
"""Plots sortbench's JSON results: median time per element against size.

    plot_sortbench.py sortbench.json sortbench.svg   (or .png)

Log scales on both axes, one panel for the bubble sorts and one for the
quicksorts, one line per sort and input shape. Needs gnuplot.
"""

import collections
import json
import pathlib
import subprocess
import sys
import tempfile

PANELS = [("Bubble sorts", ("ArrayBubble", "ListBubble")),
          ("Quicksorts", ("StackQuick", "RecursiveQuick"))]


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
    terminal = ("pngcairo size 1100,1200" if target.suffix == ".png"
                else "svg size 1100,1200 dynamic")
    with tempfile.TemporaryDirectory() as scratch:
        lines = [f"set terminal {terminal}", f"set output '{target}'",
                 "set multiplot layout 2,1", "set logscale xy", "set grid",
                 "set key outside right top", "set xlabel 'elements'",
                 "set ylabel 'median time per element (ns)'"]
        for title, sorts in PANELS:
            plots = []
            for (sort, shape), points in sorted(series.items()):
                if sort not in sorts:
                    continue
                data = pathlib.Path(scratch) / f"{sort}-{shape}.dat"
                data.write_text("".join(f"{size} {ns}\n" for size, ns in points))
                dash = 1 if sort in ("ArrayBubble", "StackQuick") else 2
                plots.append(f"'{data}' using 1:2 with linespoints dt {dash} "
                             f"title '{sort} {shape}'")
            lines.append(f"set title '{title}'")
            lines.append("plot " + ", ".join(plots) if plots else "unset title")
        lines.append("unset multiplot")
        subprocess.run(["gnuplot"], input="\n".join(lines), text=True, check=True)


if __name__ == "__main__":
    main()
