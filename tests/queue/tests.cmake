# SPDX-License-Identifier: MIT
# The print-queue host program (tests/queue/queue_host.c), for Linux and for
# Windows; scripts/test.d/36-queue.sh runs queue_e2e.py with both.
add_executable(queue_host ${CMAKE_CURRENT_LIST_DIR}/queue_host.c)
target_link_libraries(queue_host PRIVATE quorvel)
if(WIN32)
  target_link_options(queue_host PRIVATE -static)
  add_dependencies(queue_host quorvel_dll_beside_tests)
endif()

# scripts/private-cups.sh, the README's way: the receipt through its queue,
# and the SDK's queue example (examples/queue_example.c) through the same.
if(NOT WIN32 AND QUORVEL_BUILD_TOOLS AND NOT QUORVEL_SANITIZE
   AND NOT QUORVEL_SANITIZE_THREAD)
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  add_test(NAME queue.private_cups
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/private_cups_test.py ${PROJECT_SOURCE_DIR}
            $<TARGET_FILE:quorvel-printer> $<TARGET_FILE:quorvel_cli> $<TARGET_FILE:queue_example>)
  set_tests_properties(queue.private_cups PROPERTIES TIMEOUT 180)
endif()

# The SDK's queue example (examples/ is not built for Windows): it builds
# against the DLL as a Windows developer builds it, and 36-queue.sh runs it
# under wine through the private scheduler.
if(WIN32)
  add_executable(queue_example ${PROJECT_SOURCE_DIR}/examples/queue_example.c)
  target_link_libraries(queue_example PRIVATE quorvel)
  target_link_options(queue_example PRIVATE -static)
  add_dependencies(queue_example quorvel_dll_beside_tests)
endif()
