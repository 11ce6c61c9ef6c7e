# Shared part of the mingw-w64 toolchains; the including file sets WBFAX_MINGW_TRIPLET.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${WBFAX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WBFAX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${WBFAX_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${WBFAX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The host loads the DLL from its own folder on machines without any mingw runtime DLL, so the
# C and C++ runtimes and winpthread go inside every binary.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endforeach()
