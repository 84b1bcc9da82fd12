#!/bin/sh
# Stands in for corvel or dunmark in compare_builds.py's smoke test: a
# four-line report whose second sort is about 100 ms slower than its first,
# with some noise from run to run, printed at once.
noise=$(od -An -N1 -tu1 /dev/urandom)
first=$((1000 + noise % 20))
second=$((1100 + noise % 7))
echo "stand-in report (count: 0):"
echo "first: $first ms"
echo "second: $second ms"
echo "difference: $((second - first)) ms"
