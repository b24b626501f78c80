# SPDX-License-Identifier: MIT
# The print-queue host program (tests/queue/queue_host.c), for Linux and for
# Windows; scripts/test.d/36-queue.sh runs queue_e2e.py with both.
add_executable(queue_host ${CMAKE_CURRENT_LIST_DIR}/queue_host.c)
target_link_libraries(queue_host PRIVATE quorvel)
if(WIN32)
  target_link_options(queue_host PRIVATE -static)
  add_dependencies(queue_host quorvel_dll_beside_tests)
endif()
