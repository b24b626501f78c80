# SPDX-License-Identifier: MIT
# Every exported function is documented in the public header, and the version
# macros agree with the project version.
find_program(QUORVEL_DOXYGEN doxygen)
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_test(NAME api_docs_complete
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_api_docs.py
          ${QUORVEL_DOXYGEN} ${PROJECT_SOURCE_DIR}/src/api/quorvel.h ${QUORVEL_DEF}
          ${CMAKE_CURRENT_BINARY_DIR}/api_docs ${PROJECT_VERSION})
set_tests_properties(api_docs_complete PROPERTIES TIMEOUT 60)
