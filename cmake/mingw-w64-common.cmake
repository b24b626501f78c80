# SPDX-License-Identifier: MIT
# The part of the two mingw-w64 toolchain files that is alike: each sets
# CMAKE_SYSTEM_PROCESSOR (x86 or x86_64) and `triple` (the tools' prefix), then
# includes this. Debian's mingw-w64 with the posix thread model, needed by
# std::thread in the test programs (the DLL itself uses no pthreads).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
set(CMAKE_AR ${triple}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${triple}-gcc-ranlib-posix CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${triple}-objdump CACHE FILEPATH "")
# Used on x86 only, for the import library (src/CMakeLists.txt).
set(CMAKE_DLLTOOL ${triple}-dlltool CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs (ctest, and test discovery at test time) run under wine64, or
# under 32-bit wine (Debian's wine32:i386) in a win32 prefix for x86
# (tests/windows/run-under-wine.sh --win32), through a wrapper that starts
# again a run wine ended before the program ran.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86")
  find_program(QUORVEL_WINE32 NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  set(quorvel_wine ${QUORVEL_WINE32})
else()
  find_program(QUORVEL_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  set(quorvel_wine ${QUORVEL_WINE64})
endif()
if(quorvel_wine)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/windows/wine-run.sh
                                    ${quorvel_wine})
endif()
