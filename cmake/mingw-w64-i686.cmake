# SPDX-License-Identifier: MIT
# Cross-build for 32-bit Windows (i686) with Debian's mingw-w64. Functions are
# __stdcall there; src/CMakeLists.txt exports them undecorated.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
