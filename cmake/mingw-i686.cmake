# Cross build of the shipped 32-bit Windows DLL with MinGW-w64. Built and its
# tables checked only: 32-bit programs do not run under this machine's Wine.
set(TAMBER_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
