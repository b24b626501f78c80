# SPDX-License-Identifier: MIT
# The SDK zip holds the files a Windows developer needs, under one folder.
# cmake -DZIP=quorvel-x.y.z-win64-sdk.zip -DNAME=quorvel-x.y.z-win64-sdk -P check_sdk_zip.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot list ${ZIP}")
endif()
set(missing "")
foreach(file README.md LICENSE bin/Quorvel.dll include/quorvel.h lib/Quorvel.lib lib/libQuorvel.dll.a
             lib/Quorvel.def examples/c/host_example.c examples/c/sample_receipt.c
             examples/csharp/Quorvel.cs examples/csharp/Example.cs
             examples/pascal/quorvel.pas examples/pascal/example.pas)
  if(NOT listing MATCHES "(^|\n)${NAME}/${file}(\n|$)")
    list(APPEND missing ${file})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "${ZIP} lacks: ${missing}\n${listing}")
endif()
message(STATUS "${ZIP}: complete")
