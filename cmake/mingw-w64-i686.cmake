# The shipping build: the 32-bit WbFaxRcvExt.dll. 32-bit Wine is not available here, so its
# programs are built but not run.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(WBFAX_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
