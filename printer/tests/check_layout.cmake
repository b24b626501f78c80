# SPDX-License-Identifier: MIT
# The printer's folders include one way only (printer/README.md, Layout):
#   paper/, machine/  never escpos/, links/, web/ or a file on top
#   escpos/           paper/ and machine/, never links/, web/ or a file on top
#   links/            everything below, never web/ or a file on top (printer.h, main.cpp, ...)
#   web/              everything below and links/, never a file on top
#   on top            everything
# Every quoted include names its folder and exists. A small wrong tree is
# checked first, so a check that finds nothing cannot pass unnoticed.
# cmake -DSRC=printer/src -DWORK=scratch-dir -P check_layout.cmake
cmake_minimum_required(VERSION 3.25)
get_filename_component(SRC "${SRC}" ABSOLUTE)
get_filename_component(WORK "${WORK}" ABSOLUTE)

set(forbidden_paper escpos links web top)
set(forbidden_machine escpos links web top)
set(forbidden_escpos links web top)
set(forbidden_links web top)
set(forbidden_web top)
set(forbidden_top "")

# The folder of a path under src: its first part, or "top" for a file on top.
function(folder_of path out)
  if(path MATCHES "^([^/]+)/")
    set(${out} ${CMAKE_MATCH_1} PARENT_SCOPE)
  else()
    set(${out} top PARENT_SCOPE)
  endif()
endfunction()

# Appends "file: includes X" lines for every include against the direction.
function(check_tree src out)
  set(faults "")
  file(GLOB_RECURSE files RELATIVE ${src} ${src}/*.h ${src}/*.cpp)
  foreach(file ${files})
    folder_of(${file} from)
    if(NOT DEFINED forbidden_${from})
      list(APPEND faults "${file}: ${from}/ is not a folder of the layout")
      continue()
    endif()
    file(STRINGS ${src}/${file} includes REGEX "^#include \"[^\"]+\"")
    foreach(line ${includes})
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
      if(NOT EXISTS ${src}/${header})
        list(APPEND faults "${file}: includes \"${header}\", not a file under src/ (name its folder)")
        continue()
      endif()
      folder_of(${header} to)
      if(to IN_LIST forbidden_${from})
        list(APPEND faults "${file}: includes \"${header}\" (${from}/ may not use ${to})")
      endif()
    endforeach()
  endforeach()
  set(${out} "${faults}" PARENT_SCOPE)
endfunction()

# A wrong tree: paper including web, escpos a file on top, machine a bare name.
set(bad ${WORK}/layout-check-tree)
file(REMOVE_RECURSE ${bad})
file(WRITE ${bad}/printer.h "#pragma once\n")
file(WRITE ${bad}/web/page.h "#pragma once\n#include \"paper/dots.h\"\n")
file(WRITE ${bad}/paper/dots.h "#pragma once\n#include \"web/page.h\"\n")
file(WRITE ${bad}/escpos/run.cpp "#include \"paper/dots.h\"\n#include \"printer.h\"\n")
file(WRITE ${bad}/machine/tray.cpp "#include \"dots.h\"\n")
check_tree(${bad} faults)
file(REMOVE_RECURSE ${bad})
list(LENGTH faults count)
if(NOT count EQUAL 3)
  message(FATAL_ERROR "the check found ${count} faults in a tree with 3:\n${faults}")
endif()

check_tree(${SRC} faults)
if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "includes against the layout (printer/README.md, Layout):\n  ${text}")
endif()
file(GLOB_RECURSE all RELATIVE ${SRC} ${SRC}/*.h ${SRC}/*.cpp)
list(LENGTH all count)
if(count LESS 50)
  message(FATAL_ERROR "only ${count} files under ${SRC}: not the printer's sources")
endif()
message(STATUS "${count} files under ${SRC} include along the layout")
