# The same sources as 64-bit Windows programs, so that the tests run under wine64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(WBFAX_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# A Wine prefix of the build's own, so tests never touch the user's.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;--prefix;${CMAKE_BINARY_DIR}/wineprefix")
