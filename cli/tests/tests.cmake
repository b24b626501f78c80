# SPDX-License-Identifier: MIT
# Tests of the command-line tool, the host examples and the installed tree.
# All printer traffic goes to listeners on loopback addresses (127.a.b.c:9100).
find_package(GTest REQUIRED)
include(GoogleTest)
find_package(Python3 COMPONENTS Interpreter REQUIRED)
include(GNUInstallDirs)

# UTF-8 conversion and list checks, without a printer.
add_executable(cli_input_tests ${CMAKE_CURRENT_LIST_DIR}/inputs_test.cpp)
target_link_libraries(cli_input_tests PRIVATE quorvel_cli_inputs GTest::gtest_main)
gtest_discover_tests(cli_input_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 30 LABELS bytes)

# The built programs run against fake printers: the tool, the C examples, the Python example.
add_executable(cli_run_tests
  ${CMAKE_CURRENT_LIST_DIR}/cli_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli_link_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cli_confirm_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/examples_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/run_program.cpp)
target_link_libraries(cli_run_tests PRIVATE test_support GTest::gtest_main util)
target_compile_definitions(cli_run_tests PRIVATE
  QUORVEL_CLI_PATH="$<TARGET_FILE:quorvel_cli>"
  QUORVEL_LIBRARY_PATH="$<TARGET_FILE:quorvel>"
  HOST_EXAMPLE_PATH="$<TARGET_FILE:host_example>"
  SAMPLE_RECEIPT_PATH="$<TARGET_FILE:sample_receipt>"
  RESTAURANT_PATH="$<TARGET_FILE:restaurant>"
  PYTHON_PATH="${Python3_EXECUTABLE}"
  RECEIPT_SCRIPT_PATH="${PROJECT_SOURCE_DIR}/examples/python/receipt.py")
add_dependencies(cli_run_tests quorvel_cli host_example sample_receipt restaurant)
if(QUORVEL_SANITIZE)
  # Python itself is not instrumented: the sanitizer runtime must be loaded first.
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=libasan.so
    OUTPUT_VARIABLE asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  target_compile_definitions(cli_run_tests PRIVATE SANITIZER_RUNTIME="${asan_runtime}")
endif()
gtest_discover_tests(cli_run_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60 LABELS bytes)

# The installed tree and its package; not under the sanitizers, whose
# instrumented library a plain host cannot link.
if(QUORVEL_SANITIZE)
  return()
endif()

# Installs into a scratch prefix and builds a small host against it, once with
# pkg-config and once with find_package.
add_test(NAME installed_tree
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/install_check.sh
          ${PROJECT_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR}/install_check ${CMAKE_INSTALL_LIBDIR}
          ${CMAKE_C_COMPILER} ${CMAKE_COMMAND})
set_tests_properties(installed_tree PROPERTIES TIMEOUT 240)

# The three Debian packages that cpack makes of the same tree.
add_test(NAME debian_package
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package_check.sh
          ${PROJECT_BINARY_DIR} ${CMAKE_CURRENT_BINARY_DIR}/package_check ${CMAKE_INSTALL_LIBDIR}
          ${CMAKE_C_COMPILER} ${CMAKE_COMMAND})
set_tests_properties(debian_package PROPERTIES TIMEOUT 300)
