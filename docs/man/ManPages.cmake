# SPDX-License-Identifier: MIT
# Man pages quorvel(1) and quorvel-printer(1), made at build time from each
# tool's own --help by help2man, and installed with the tools.
if(QUORVEL_SANITIZE)
  return()  # the instrumented tools may report at exit; the pages come from plain builds
endif()
find_program(QUORVEL_HELP2MAN help2man)
if(NOT QUORVEL_HELP2MAN)
  message(WARNING "help2man not found: no man pages (scripts/bootstrap.sh installs it)")
  return()
endif()
include(GNUInstallDirs)

set(QUORVEL_MAN_DIR ${PROJECT_BINARY_DIR}/man)
set(man_pages "")
function(quorvel_man_page target page summary)
  if(NOT TARGET ${target})
    return()
  endif()
  set(output ${QUORVEL_MAN_DIR}/${page}.1)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${QUORVEL_HELP2MAN} -DPROGRAM=$<TARGET_FILE:${target}>
            -DNAME=${summary} -DVERSION=${PROJECT_VERSION}
            -DINCLUDE=${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${page}.h2m -DOUTPUT=${output} ${ARGN}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/make_manpage.cmake
    DEPENDS ${target} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${page}.h2m
            ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/make_manpage.cmake
    COMMENT "Man page ${page}(1)"
    VERBATIM)
  install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
  set(man_pages ${man_pages} ${output} PARENT_SCOPE)
endfunction()

quorvel_man_page(quorvel_cli quorvel "drive an ESC/POS receipt printer through the Quorvel library"
  -DSUBCOMMANDS=ON)
quorvel_man_page(quorvel-printer quorvel-printer "virtual ESC/POS receipt printer")
quorvel_man_page(quorvel-spool quorvel-spool "print service that keeps every job and delivers it once")
add_custom_target(man_pages ALL DEPENDS ${man_pages})

if(QUORVEL_BUILD_TESTS AND man_pages)
  # Each page renders without a roff warning and has every subcommand of the tool.
  add_test(NAME man_pages
    COMMAND ${CMAKE_COMMAND} -DPAGES=${man_pages} -DCLI=$<TARGET_FILE:quorvel_cli>
            -P ${CMAKE_CURRENT_LIST_DIR}/check_man_pages.cmake)
endif()
