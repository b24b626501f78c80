# SPDX-License-Identifier: MIT
# Quorvel.lib, as llvm-nm lists it, defines every name of the export table
# and its __imp_ pointer, all for Quorvel.dll. For 32-bit, DEF is the
# __stdcall table (name@bytes) and PREFIX "_": symbols read _separa@8.
# cmake -DNM=llvm-nm -DLIBRARY=Quorvel.lib -DDEF=quorvel.def [-DPREFIX=_] -P check_import_lib.cmake
execute_process(COMMAND ${NM} ${LIBRARY} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
file(STRINGS ${DEF} def_lines REGEX "@[0-9]+")
set(missing "")
set(count 0)
foreach(line ${def_lines})
  string(REGEX REPLACE "^[ \t]*([A-Za-z0-9_@]+).*$" "\\1" name "${line}")
  foreach(symbol ${PREFIX}${name} __imp_${PREFIX}${name})
    if(NOT listing MATCHES "\n[0-9a-f]+ T ${symbol}\n")
      list(APPEND missing ${symbol})
    endif()
  endforeach()
  math(EXPR count "${count} + 1")
endforeach()
if(NOT listing MATCHES "__IMPORT_DESCRIPTOR_Quorvel")
  list(APPEND missing "the import descriptor of Quorvel.dll")
endif()
if(missing)
  message(FATAL_ERROR "${LIBRARY} lacks: ${missing}")
endif()
message(STATUS "${LIBRARY}: all ${count} exported names and their __imp_ pointers")
