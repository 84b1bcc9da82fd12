#!/usr/bin/env bash
# Checks what the packages hold, that the Windows programs run from the
# unpacked ZIP under Wine (exit status 0 and a four-line report, every line
# ended by CR LF as a Windows console writes it), and that the arm64
# programs are arm64 and run from the unpacked .tar.gz under qemu-user
# (exit status 0 and a four-line report ended by LF).
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
tgz=(build/release/sorting-benchmarks-*-Linux-x86_64.tar.gz)
deb=(build/release/sorting-benchmarks_*_amd64.deb)
arm64_tgz=(build/arm64/sorting-benchmarks-*-Linux-aarch64.tar.gz)
arm64_deb=(build/arm64/sorting-benchmarks_*_arm64.deb)

expect_listing "${zip[0]}" "$(printf '%s\n' README.md corvel.exe dunmark.exe)" \
  "$(cmake -E tar tf "${zip[0]}" | sed 's#^[^/]*/##' | grep -v '/$' | sort)"
for package in "${tgz[0]}" "${arm64_tgz[0]}"; do
  expect_listing "$package" \
    "$(printf '%s\n' bin/corvel bin/dunmark share/doc/sorting-benchmarks/README.md)" \
    "$(tar tzf "$package" | sed 's#^[^/]*/##' | grep -v '/$' | sort)"
done
for package in "${deb[0]}" "${arm64_deb[0]}"; do
  expect_listing "$package" \
    "$(printf '%s\n' ./usr/bin/corvel ./usr/bin/dunmark ./usr/share/doc/sorting-benchmarks/README.md)" \
    "$(dpkg-deb -c "$package" | awk '{print $6}' | grep -v '/$' | sort)"
done
expect_listing "${arm64_deb[0]} control" "$(printf '%s\n' 'Architecture: arm64' \
  'Depends: libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 5.2)')" \
  "$(dpkg-deb -f "${arm64_deb[0]}" Architecture Depends)"

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

# Each line: a label, a plain decimal number (signed on corvel's last line),
# a unit; nothing before, between or after the four lines.
(cd "$unpacked" && tar xzf "$OLDPWD/${arm64_tgz[0]}")
for program in "$unpacked"/*/bin/corvel "$unpacked"/*/bin/dunmark; do
  name=$(basename "$program")
  readelf -h "$program" | grep -q 'Machine: *AArch64' || { echo "$name from the .tar.gz is not arm64" >&2; exit 1; }
  report=$(qemu-aarch64 -L /usr/aarch64-linux-gnu "$program" | iconv -f GBK -t UTF-8)
  lines=$(grep -cE '^[^0-9-]+-?[0-9]+( 毫秒| ms|\):)$' <<<"$report" || true)
  if ((lines != 4)) || [[ $(wc -l <<<"$report") -ne 4 ]]; then
    printf '%s from the .tar.gz printed:\n%s\n' "$name" "$report" >&2
    exit 1
  fi
  echo "$name from the arm64 .tar.gz: exit 0 under qemu-user, four report lines"
done
