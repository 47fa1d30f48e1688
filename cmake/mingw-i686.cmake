# Cross build of the shipped 32-bit Windows DLL with MinGW-w64; tests run
# under Wine (32-bit programs need wine32:i386).
set(TAMBER_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
