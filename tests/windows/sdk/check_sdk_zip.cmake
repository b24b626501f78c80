# SPDX-License-Identifier: MIT
# The SDK zip holds the files a Windows developer needs, under one folder, with
# a DLL and its import libraries for each bitness in ARCHES (x64, x86).
# cmake -DZIP=quorvel-x.y.z-windows-sdk.zip -DNAME=quorvel-x.y.z-windows-sdk "-DARCHES=x64;x86"
#       -P check_sdk_zip.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot list ${ZIP}")
endif()
set(missing "")
set(files README.md LICENSE include/quorvel.h examples/c/host_example.c examples/c/sample_receipt.c
          examples/csharp/Quorvel.cs examples/csharp/Example.cs
          examples/pascal/quorvel.pas examples/pascal/example.pas examples/vb6/Quorvel.bas
          examples/c/queue_example.c examples/vb6/ReceiptForm.frm examples/vb6/Example.vbp)
foreach(arch ${ARCHES})
  list(APPEND files bin/${arch}/Quorvel.dll lib/${arch}/Quorvel.lib lib/${arch}/libQuorvel.dll.a
                    lib/${arch}/Quorvel.def)
endforeach()
foreach(file ${files})
  if(NOT listing MATCHES "(^|\n)${NAME}/${file}(\n|$)")
    list(APPEND missing ${file})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "${ZIP} lacks: ${missing}\n${listing}")
endif()
message(STATUS "${ZIP}: complete")
