# The shipping build: the 32-bit WbFaxRcvExt.dll.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(WBFAX_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# Hosts and the system call in with the stack aligned to 4 bytes only: functions that need more
# realign it themselves.
set(CMAKE_C_FLAGS_INIT "-mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-mincoming-stack-boundary=2")
# 32-bit Wine runs in a 32-bit Debian root (scripts/i386-root.sh); with WBFAX_IN_I386_ROOT=ON its
# programs run there, in a Wine prefix of the build's own. Without it they are built only.
if(WBFAX_IN_I386_ROOT)
  set(WBFAX_ENTER_ROOT "${CMAKE_CURRENT_LIST_DIR}/../scripts/i386-root.sh;enter;--bind;${CMAKE_BINARY_DIR}")
  set(CMAKE_CROSSCOMPILING_EMULATOR "${WBFAX_ENTER_ROOT};${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;--prefix;${CMAKE_BINARY_DIR}/wineprefix")
endif()
