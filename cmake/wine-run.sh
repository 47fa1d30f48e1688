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
# Debian's `wine` takes the 32-bit loader whenever wine32 is installed; on a
# kernel that runs no 32-bit programs that loader cannot start, and the 64-bit
# one runs the 64-bit programs by itself.
if [ -x /usr/lib/wine/wine64 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    export WINELOADER=/usr/lib/wine/wine64
    exec /usr/lib/wine/wine64 "$@"
fi
exec wine "$@"
