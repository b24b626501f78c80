# Windows-only checks of Quorvel.dll (included by tests/CMakeLists.txt in the mingw build).

# Export and import tables of the built DLL, read with objdump.
add_test(NAME wine.pe_exports_and_imports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DLIBRARY=$<TARGET_FILE:quorvel>
          -DDEF=${QUORVEL_DEF} -P ${CMAKE_CURRENT_LIST_DIR}/check_pe.cmake)

# The ordinal table as C++ initialisers for the host program.
file(STRINGS ${QUORVEL_DEF} def_lines REGEX "@[0-9]+")
set(exports_inc "")
foreach(line ${def_lines})
  string(REGEX REPLACE "^[ \t]*([A-Za-z0-9_]+)[ \t]+@([0-9]+).*$" "    {\"\\1\", \\2},\n" row "${line}")
  string(APPEND exports_inc "${row}")
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/generated/quorvel_exports.inc CONTENT "${exports_inc}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUORVEL_DEF})

# The host program: loads the DLL at run time, as a till application does.
add_executable(dll_host ${CMAKE_CURRENT_LIST_DIR}/dll_host_test.cpp)
target_include_directories(dll_host PRIVATE ${CMAKE_SOURCE_DIR}/src/api
                                            ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_link_libraries(dll_host PRIVATE test_support GTest::gtest_main version ws2_32)
target_link_options(dll_host PRIVATE -static)
target_compile_options(dll_host PRIVATE -Wno-restrict)
add_dependencies(dll_host quorvel_dll_beside_tests)
gtest_discover_tests(dll_host DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  TEST_PREFIX "wine.host." PROPERTIES TIMEOUT 60)

# The library on a COM port backed by a pseudo-terminal (tests/windows/serial_relay.py
# provides it); one port, so these cases run one at a time.
add_executable(serial_port_tests ${CMAKE_CURRENT_LIST_DIR}/serial_port_test.cpp)
target_link_libraries(serial_port_tests PRIVATE quorvel test_support GTest::gtest_main ws2_32)
target_link_options(serial_port_tests PRIVATE -static)
target_compile_options(serial_port_tests PRIVATE -Wno-restrict)
add_dependencies(serial_port_tests quorvel_dll_beside_tests)
gtest_discover_tests(serial_port_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  TEST_PREFIX "wine.serial." PROPERTIES TIMEOUT 60 RESOURCE_LOCK serial_relay)
