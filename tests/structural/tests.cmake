# SPDX-License-Identifier: MIT
# Structural guarantees: counts the heap allocations and the write system calls
# each exported call makes. The test executable replaces malloc and operator new
# and interposes the socket and file write calls, so it is linked on its own.
# Under the sanitizers the allocator belongs to the sanitizer runtime: the heap
# counting is left out there (its cases report as skipped); write counting stays.
file(GLOB structural_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_test.cpp)
add_executable(structural_tests ${structural_sources}
  ${CMAKE_CURRENT_LIST_DIR}/call_probe.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../faults/raw_peer.cpp)
target_include_directories(structural_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}
  ${CMAKE_CURRENT_LIST_DIR}/../faults)
target_link_libraries(structural_tests PRIVATE quorvel test_support GTest::gtest_main util dl)
set_target_properties(structural_tests PROPERTIES ENABLE_EXPORTS ON)
if(NOT QUORVEL_SANITIZE)
  target_compile_definitions(structural_tests PRIVATE QUORVEL_COUNT_HEAP)
endif()
gtest_discover_tests(structural_tests DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 60 LABELS bytes)
