# SPDX-License-Identifier: MIT
# Checks Quorvel.dll as a Windows loader sees it: a PE of BITS (64: PE32+
# x86-64, 32: PE32 i386) whose export table holds exactly the functions of the
# ordinal table DEF at their ordinals, by undecorated name (no _name@N), and
# whose imports are only KERNEL32, WS2_32 and msvcrt.
# Usage: cmake -DOBJDUMP=... -DLIBRARY=Quorvel.dll -DDEF=quorvel.def -DBITS=64 -P check_pe.cmake
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} failed on ${LIBRARY}")
endif()
set(problems "")

if(BITS EQUAL 32)
  if(NOT dump MATCHES "file format pei-i386" OR NOT dump MATCHES "Magic[ \t]+010b")
    string(APPEND problems "not a 32-bit (PE32, i386) image\n")
  endif()
elseif(NOT dump MATCHES "file format pei-x86-64" OR NOT dump MATCHES "Magic[ \t]+020b")
  string(APPEND problems "not a 64-bit (PE32+, x86-64) image\n")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/../check_def_layout.cmake)
# Expected: name -> ordinal, from the .def file.
file(STRINGS ${DEF} def_lines REGEX "@[0-9]+")
set(expected "")
foreach(line ${def_lines})
  string(REGEX REPLACE "^[ \t]*([A-Za-z0-9_]+)[ \t]+@([0-9]+).*$" "\\1@\\2" entry "${line}")
  list(APPEND expected ${entry})
endforeach()

# Found: "[Ordinal/Name Pointer] Table" rows are "[index] name"; ordinal = base + index.
string(REGEX MATCH "Ordinal Base[ \t]+([0-9]+)" _ "${dump}")
set(base ${CMAKE_MATCH_1})
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[ *[0-9]+\\] [^\n]+\n)+)" _ "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${CMAKE_MATCH_1}")
set(found "")
foreach(row ${rows})
  string(REGEX REPLACE "^\\[ *([0-9]+)\\] (.+)$" "\\1;\\2" parts "${row}")
  list(GET parts 0 index)
  list(GET parts 1 name)
  math(EXPR ordinal "${base} + ${index}")
  list(APPEND found "${name}@${ordinal}")
endforeach()
string(REGEX MATCHALL "\\+base\\[ *[0-9]+\\]" address_rows "${dump}")
list(LENGTH address_rows address_count)
list(LENGTH expected expected_count)
list(SORT expected)
list(SORT found)
foreach(entry ${found})
  if(entry MATCHES "^_|@.*@")
    string(APPEND problems "decorated export name: ${entry}\n")
  endif()
endforeach()
if(NOT found STREQUAL expected)
  string(APPEND problems "exports by name@ordinal:\n  found    ${found}\n  expected ${expected}\n")
endif()
if(NOT address_count EQUAL expected_count)
  string(APPEND problems "export address table has ${address_count} entries, expected ${expected_count}\n")
endif()

# Imports: exactly the allow-list (no runtime DLLs such as libstdc++, libgcc,
# libwinpthread or the api-ms-win-crt-* forwarders).
string(REGEX MATCHALL "DLL Name: [^\n]+" import_rows "${dump}")
set(imports "")
foreach(row ${import_rows})
  string(REGEX REPLACE "DLL Name: " "" name "${row}")
  string(TOUPPER "${name}" name)
  list(APPEND imports ${name})
endforeach()
list(SORT imports)
set(allowed KERNEL32.DLL MSVCRT.DLL WS2_32.DLL)
if(NOT imports STREQUAL allowed)
  string(APPEND problems "imports: ${imports}\n  allowed: ${allowed}\n")
endif()

if(problems)
  message(FATAL_ERROR "${LIBRARY}:\n${problems}")
endif()
message(STATUS "Quorvel.dll: ${expected_count} exports at their ordinals; imports ${imports}")
