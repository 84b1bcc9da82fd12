#!/usr/bin/env python3
"""Summarises sortbench's JSON results on one screen.

    summarize_sortbench.py sortbench.json

For each kind of sort that sortbench names in the results' context, a
table: for each input shape and the programs' data, each sort's time per
element at the largest size that it shares with the others of its kind,
and its ratio to each baseline of the kind on the same data. A case on
which the sort is quadratic in the size is marked, rather than left out.
"""

import argparse
import collections
import json
import pathlib

from plot_sortbench import Catalogue, is_median, machine

QUADRATIC = " n^2"


def kinds(catalogue):
    """[(kind, its sorts, their baselines)], in sortbench's order; a library
    sort, of no kind, appears only as a baseline."""
    found = {}
    for sort in catalogue.sorts:
        if sort["kind"]:
            sorts, baselines = found.setdefault(sort["kind"], ([], []))
            sorts.append(sort["name"])
            baselines += [name for name in sort["baselines"] if name not in baselines]
    return [(kind, sorts, baselines) for kind, (sorts, baselines) in found.items()]


def medians(results):
    """{(sort, shape): {size: ns per element}}, the spread of each median as
    {(sort, shape, size): fraction} where the run has repetitions, and the
    set of quadratic (sort, shape)."""
    times = collections.defaultdict(dict)
    extremes = collections.defaultdict(list)
    quadratic = set()
    for run in results["benchmarks"]:
        sort, shape, rest = run["run_name"].split("/", 2)
        size = int(rest.split("/")[0]) if rest[0].isdigit() else None
        if run.get("aggregate_name") == "BigO" and run["big_o"] == "N^2":
            quadratic.add((sort, shape))
        elif is_median(run) and "per_element" in run:
            times[sort, shape][size] = run["per_element"] * 1e9
        elif run.get("aggregate_name") in ("min", "max"):
            extremes[sort, shape, size].append(run["per_element"] * 1e9)
    spread = {(sort, shape, size): max(abs(x / times[sort, shape][size] - 1) for x in values)
              for (sort, shape, size), values in extremes.items()}
    return times, spread, quadratic


def short(value):
    """Three significant figures, without an exponent."""
    return f"{value:.0f}" if value >= 100 else f"{value:.3g}"


def kind_rows(times, spread, quadratic, shapes, columns, baselines):
    """A row per shape on which a sort of the kind, not only its baselines,
    ran: the shape, the shared size, then a cell per sort."""
    rows = []
    for shape in shapes:
        ran = [sort for sort in columns if (sort, shape) in times]
        shared = set.intersection(*(set(times[sort, shape]) for sort in ran)) if ran else set()
        if not shared or set(ran) <= set(baselines):
            continue
        size = max(shared)
        bases = [times[base, shape][size] for base in baselines if base in ran]
        cells = []
        for sort in columns:
            if sort not in ran:
                cells.append("-")
                continue
            ns = times[sort, shape][size]
            within = spread.get((sort, shape, size))
            ratios = " ".join(f"x{short(ns / base)}" for base in bases)
            cells.append(short(ns) + (f" ±{within:.0%}" if within is not None else "")
                         + (f" ({ratios})" if ratios else "")
                         + (QUADRATIC if (sort, shape) in quadratic else ""))
        rows.append([shape, str(size)] + cells)
    return rows


def aligned(rows):
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    return ["  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip()
            for row in rows]


def summary(results):
    catalogue = Catalogue.of(results)
    times, spread, quadratic = medians(results)
    lines = [f"sortbench: {machine(results['context'])}",
             "ns per element at the largest size that all sorts of a kind ran"
             + (", ±P% the repetition farthest from the median" if spread else "") + ",",
             f"(xR) the ratio to each baseline in turn, {QUADRATIC.strip()} where the sort is "
             "quadratic in the size on that shape"]
    for kind, sorts, baselines in kinds(catalogue):
        rows = kind_rows(times, spread, quadratic, catalogue.shapes + catalogue.program_data,
                         sorts + baselines, baselines)
        if rows:
            lines += ["", f"{kind} against {', '.join(baselines)}:"]
            lines += aligned([["shape", "size", *sorts, *baselines]] + rows)
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("results", type=pathlib.Path)
    print(summary(json.loads(parser.parse_args().results.read_text())))


if __name__ == "__main__":
    main()
