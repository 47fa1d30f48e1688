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

# The COFF machine of a PE file ("014c" for i386), or nothing for other files.
pe_machine() {
    [ -f "$1" ] || return 0
    [ "$(head -c 2 "$1")" = "MZ" ] || return 0
    offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}

# Debian's `wine` starts the 32-bit loader whenever wine32 is installed, and
# that loader hands 64-bit programs on to the 64-bit one. Only 32-bit programs
# go through it here: where an emulated CPU runs 32-bit code, the detour would
# cost every 64-bit program a slow start; where none runs, it cannot start.
if [ -x /usr/lib/wine/wine64 ] && [ "$(pe_machine "$1")" != "014c" ]; then
    export WINELOADER=/usr/lib/wine/wine64
    exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"
