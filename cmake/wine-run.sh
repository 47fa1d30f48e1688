#!/bin/sh
# Runs a Windows test program under Wine for ctest (CMAKE_CROSSCOMPILING_EMULATOR).
# Refuses to run without WINEPREFIX so that a test run never touches ~/.wine.
if [ -z "${WINEPREFIX:-}" ]; then
    echo "wine-run.sh: WINEPREFIX is not set; point it at a scratch prefix" >&2
    exit 2
fi
# Quiet output; exit codes pass through.
export WINEDEBUG=-all
# No Mono/Gecko install prompts, and no debugger: a crash must exit non-zero.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
exec wine "$@"
