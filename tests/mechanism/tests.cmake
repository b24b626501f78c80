# SPDX-License-Identifier: MIT
# Confirmed printing end to end: the library against the virtual printer's
# mechanism (quorvel-printer at 250 mm/s, paper out, power cut, a profile
# without GS ( H), over TCP and a pseudo-terminal. Each case starts its own
# printer process on a loopback address of its own.
# quorvel-printer is defined after tests/ (printer/); generator expressions
# and add_dependencies reach it all the same.
if(NOT QUORVEL_BUILD_TOOLS OR NOT EXISTS ${PROJECT_SOURCE_DIR}/printer/CMakeLists.txt)
  return()
endif()
add_executable(mechanism_tests ${CMAKE_CURRENT_LIST_DIR}/confirm_e2e_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/virtual_printer.cpp)
target_link_libraries(mechanism_tests PRIVATE quorvel test_support GTest::gtest_main)
target_compile_definitions(mechanism_tests PRIVATE
  QUORVEL_PRINTER_BINARY="$<TARGET_FILE:quorvel-printer>"
  QUORVEL_PROFILE_DIR="${PROJECT_SOURCE_DIR}/printer/profiles")
add_dependencies(mechanism_tests quorvel-printer)
gtest_discover_tests(mechanism_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60 LABELS mechanism)
