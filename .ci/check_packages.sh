#!/usr/bin/env bash
# Checks what the packages hold, and that the Windows programs run from the
# unpacked ZIP under Wine: exit status 0 and a four-line report, every line
# ended by CR LF as a Windows console writes it.
set -euo pipefail
cd "$(dirname "$0")/.."

expect_listing() {  # what, expected names (sorted), actual listing
  if [[ "$2" != "$3" ]]; then
    printf '%s holds:\n%s\nexpected:\n%s\n' "$1" "$3" "$2" >&2
    exit 1
  fi
  echo "$1: ok"
}

zip=(build/windows/sorting-benchmarks-*-win64.zip)
tgz=(build/release/sorting-benchmarks-*-Linux.tar.gz)
deb=(build/release/sorting-benchmarks_*_amd64.deb)

expect_listing "${zip[0]}" "$(printf '%s\n' README.md corvel.exe dunmark.exe)" \
  "$(cmake -E tar tf "${zip[0]}" | sed 's#^[^/]*/##' | grep -v '/$' | sort)"
expect_listing "${tgz[0]}" \
  "$(printf '%s\n' bin/corvel bin/dunmark share/doc/sorting-benchmarks/README.md)" \
  "$(tar tzf "${tgz[0]}" | sed 's#^[^/]*/##' | grep -v '/$' | sort)"
expect_listing "${deb[0]}" \
  "$(printf '%s\n' ./usr/bin/corvel ./usr/bin/dunmark ./usr/share/doc/sorting-benchmarks/README.md)" \
  "$(dpkg-deb -c "${deb[0]}" | awk '{print $6}' | grep -v '/$' | sort)"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
(cd "$unpacked" && cmake -E tar xf "$OLDPWD/${zip[0]}")
for program in "$unpacked"/*/corvel.exe "$unpacked"/*/dunmark.exe; do
  report=$(cmake/wine-run.sh "$program" | od -An -c | tr -s ' \n' ' ')
  lines=$(grep -o '\\r \\n' <<<"$report" | wc -l)
  bare=$(grep -oE '[^r] \\n' <<<"$report" | wc -l || true)
  if ((lines != 4 || bare != 0)); then
    echo "$(basename "$program") from the ZIP: $lines CR LF line ends, $bare bare LF" >&2
    exit 1
  fi
  echo "$(basename "$program") from the ZIP: exit 0, four CR LF lines"
done
