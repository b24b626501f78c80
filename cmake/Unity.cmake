# SPDX-License-Identifier: MIT
# Unity builds for the targets whose files share heavy header-only libraries:
# the CLI (CLI11 in every file), the printer's I/O side and the print service
# (Boost.Beast and Asio, nlohmann/json). Each target compiles as one translation
# unit, so those headers are parsed and their inline code generated once per
# target instead of once per file: measured at -O2 -g, 89 s of compiler CPU down
# to 14 s for the CLI and 78 s to 37 s for the I/O side; at -O3, 68 s to 27 s
# for the print service. The other targets' files define
# helpers of the same names in anonymous namespaces and gain little from it.
#   QUORVEL_UNITY_BUILD=OFF   one translation unit per file again
option(QUORVEL_UNITY_BUILD "Build the CLI, the printer's I/O side and the print service as unity builds" ON)

function(quorvel_unity_targets)
  if(NOT QUORVEL_UNITY_BUILD)
    return()
  endif()
  foreach(target ${ARGN})
    if(TARGET ${target})
      set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 0)
    endif()
  endforeach()
endfunction()
