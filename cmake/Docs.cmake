# SPDX-License-Identifier: MIT
# `docs`: the HTML reference of the public header, made by Doxygen into
# <build>/docs/html (open index.html).
if(NOT PROJECT_IS_TOP_LEVEL)
  return()  # a project that embeds the library keeps its own target names
endif()
find_program(QUORVEL_DOXYGEN doxygen)
set(QUORVEL_DOCS_DIR ${PROJECT_BINARY_DIR}/docs)
configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${QUORVEL_DOCS_DIR}/Doxyfile @ONLY)
if(QUORVEL_DOXYGEN)
  add_custom_target(docs
    COMMAND ${QUORVEL_DOXYGEN} ${QUORVEL_DOCS_DIR}/Doxyfile
    COMMAND ${CMAKE_COMMAND} -E echo "API reference: ${QUORVEL_DOCS_DIR}/html/index.html"
    DEPENDS ${PROJECT_SOURCE_DIR}/src/api/quorvel.h ${PROJECT_SOURCE_DIR}/docs/mainpage.md
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    VERBATIM)
else()
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E echo "docs: install doxygen (scripts/bootstrap.sh does)"
    COMMAND ${CMAKE_COMMAND} -E false)
endif()
