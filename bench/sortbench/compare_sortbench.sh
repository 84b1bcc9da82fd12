#!/bin/sh
# Compares two sortbench JSON files (two compilers, two commits) with Google
# Benchmark's own compare.py: the change in each median, and a Mann-Whitney
# U test over the repetitions, which says whether a difference is more than
# noise. It needs repetitions, which sortbench keeps in its JSON: the full
# run (bench-full) has five of each case, the quick look only one.
#
#   sortbench --benchmark_filter=... --benchmark_repetitions=9 --benchmark_out=old.json
#   bench/sortbench/compare_sortbench.sh old.json new.json
#
# Needs Debian's libbenchmark-tools and python3-scipy.
set -eu
if [ $# -ne 2 ]; then
  echo "usage: $0 BASELINE.json CONTENDER.json" >&2
  exit 2
fi
exec /usr/bin/python3 /usr/share/benchmark/compare.py -a --no-color benchmarks "$1" "$2"
