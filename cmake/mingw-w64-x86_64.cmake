# Cross-compiling for 64-bit Windows with mingw-w64 (the posix threads
# variant, for std::thread and std::mutex). The executables are linked
# statically, so that they need no DLL beside the system's own, and run
# under wine64 when one is found.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVORI_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAVORI_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVORI_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVORI_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVORI_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libstdc++, libgcc and winpthread go into the executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests (add_test) run the executables through wine64.
find_program(TAVORI_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib/x86_64-linux-gnu/wine NO_CMAKE_FIND_ROOT_PATH)
if(TAVORI_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVORI_WINE64})
endif()
