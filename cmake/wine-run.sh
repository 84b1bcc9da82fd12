#!/usr/bin/env bash
# Runs a Windows program under Wine: the Windows build's
# CMAKE_CROSSCOMPILING_EMULATOR, for test discovery, CTest and `run`.
#
# Wine's background processes (wineserver, services.exe and the rest) start
# with the first program and keep its standard output and error open, so
# that CTest or Ninja would wait on them until they exit. They are started
# here with nothing to inherit, and the server stays up a minute after the
# last program instead of three seconds, which spares each test Wine's
# start-up.
#
# Wine's own lines (its error channel, "0024:err:module:...", and its
# loader's "wine: ...") are kept aside from the program's standard error.
# They are shown only when the program fails without writing anything, so
# that a program Wine could not start, or one that died before its first
# line, says why rather than leaving an empty test log.
export WINEDEBUG="${WINEDEBUG:--all,err+all}"
wineserver -p60 </dev/null >/dev/null 2>&1
wine cmd.exe /c exit </dev/null >/dev/null 2>&1

scratch=$(mktemp -d) || exit 125
trap 'rm -rf "$scratch"' EXIT

# Passes the program's standard error on, marking that it wrote, and keeps
# Wine's lines aside.
split_standard_error() {
  local LC_ALL=C line
  while IFS= read -r line || [[ -n $line ]]; do
    case $line in
      [0-9a-f][0-9a-f][0-9a-f][0-9a-f]:*:*:* | wine:* | wine\ client\ error* | wineserver:*)
        printf '%s\n' "$line" >>"$scratch/wine_lines" ;;
      *)
        printf '%s\n' "$line" >&2
        : >>"$scratch/wrote" ;;
    esac
  done
}

{
  wine "$@" 2>&1 >&3 3>&- | split_standard_error
  echo "${PIPESTATUS[0]}" >"$scratch/status"
} 3>&1 | tee "$scratch/stdout"
status=$(<"$scratch/status")

if [[ $status != 0 && ! -s $scratch/stdout && ! -e $scratch/wrote ]]; then
  echo "wine-run.sh: $1 exited with status $status under Wine before writing anything;" \
    "Wine's error lines for this run:" >&2
  cat "$scratch/wine_lines" >&2 2>/dev/null || echo "(none)" >&2
fi
exit "$status"
