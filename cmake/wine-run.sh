#!/bin/sh
# Runs a Windows program under Wine: the Windows build's
# CMAKE_CROSSCOMPILING_EMULATOR, for test discovery, CTest and `run`.
#
# Wine's background processes (wineserver, services.exe and the rest) start
# with the first program and keep its standard output and error open, so
# that CTest or Ninja would wait on them until they exit. They are started
# here with nothing to inherit, and the server stays up a minute after the
# last program instead of three seconds, which spares each test Wine's
# start-up.
export WINEDEBUG="${WINEDEBUG:--all}"
wineserver -p60 </dev/null >/dev/null 2>&1
wine cmd.exe /c exit </dev/null >/dev/null 2>&1
exec wine "$@"
