# SPDX-License-Identifier: MIT
# Fault suites: real resets, silences, full buffers, vanished terminals and
# refused handshakes against libquorvel.so; plus many threads on one link.
quorvel_test_suite(faults quorvel util)
if(TARGET faults_tests)
  target_sources(faults_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/raw_peer.cpp)
  target_include_directories(faults_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR})
endif()
