# SPDX-License-Identifier: MIT
# Windows-only checks of Quorvel.dll (included by tests/CMakeLists.txt in the mingw build).

math(EXPR bits "${CMAKE_SIZEOF_VOID_P} * 8")
# Export and import tables of the built DLL, read with objdump.
add_test(NAME wine.pe_exports_and_imports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DLIBRARY=$<TARGET_FILE:quorvel>
          -DDEF=${QUORVEL_DEF} -DBITS=${bits} -P ${CMAKE_CURRENT_LIST_DIR}/check_pe.cmake)

# The ordinal table as C++ initialisers for the host program.
file(STRINGS ${QUORVEL_DEF} def_lines REGEX "@[0-9]+")
# The same names as QUORVEL_EXPORT(name) lines, to reach each declaration.
set(exports_inc "")
set(functions_inc "")
foreach(line ${def_lines})
  string(REGEX REPLACE "^[ \t]*([A-Za-z0-9_]+)[ \t]+@([0-9]+).*$" "    {\"\\1\", \\2},\n" row "${line}")
  string(APPEND exports_inc "${row}")
  string(REGEX REPLACE "^[ \t]*([A-Za-z0-9_]+)[ \t]+@.*$" "QUORVEL_EXPORT(\\1)\n" row "${line}")
  string(APPEND functions_inc "${row}")
endforeach()
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/generated/quorvel_exports.inc CONTENT "${exports_inc}")
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/generated/quorvel_functions.inc CONTENT "${functions_inc}")
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

# The SDK (cmake/WindowsSdk.cmake): its zip, its MSVC import library, and a C
# host built as a Windows developer would build it from the unzipped SDK, once
# per import library, run under wine from the SDK's bin folder (beside the
# zipped Quorvel.dll) against a loopback printer.
if(TARGET windows_sdk)
  find_package(Python3 COMPONENTS Interpreter REQUIRED)
  find_program(QUORVEL_LLVM_NM NAMES llvm-nm llvm-nm-14 REQUIRED)
  # 32-bit C symbols carry a leading underscore (and __stdcall ones @bytes).
  if(bits EQUAL 32)
    set(symbol_prefix _)
    set(msvc_target i686-pc-windows-msvc)
    set(msvc_machine x86)
    set(msvc_link_extra /safeseh:no)  # mingw's libkernel32.a objects carry no SafeSEH table
  else()
    set(symbol_prefix "")
    set(msvc_target x86_64-pc-windows-msvc)
    set(msvc_machine x64)
    set(msvc_link_extra "")
  endif()
  add_test(NAME wine.sdk.zip_contents
    COMMAND ${CMAKE_COMMAND} -DZIP=${QUORVEL_SDK_ZIP} -DNAME=${QUORVEL_SDK_NAME}
            "-DARCHES=${QUORVEL_SDK_ARCHES}" -P ${CMAKE_CURRENT_LIST_DIR}/sdk/check_sdk_zip.cmake)
  add_test(NAME wine.sdk.msvc_import_library_names
    COMMAND ${CMAKE_COMMAND} -DNM=${QUORVEL_LLVM_NM} -DLIBRARY=${QUORVEL_MSVC_IMPORT_LIB}
            -DDEF=${QUORVEL_LINK_DEF} -DPREFIX=${symbol_prefix}
            -P ${CMAKE_CURRENT_LIST_DIR}/sdk/check_import_lib.cmake)

  set(unzipped ${CMAKE_CURRENT_BINARY_DIR}/sdk_unzipped)
  set(sdk ${unzipped}/${QUORVEL_SDK_NAME})
  set(sdk_bin ${sdk}/bin/${QUORVEL_SDK_ARCH})
  set(sdk_lib ${sdk}/lib/${QUORVEL_SDK_ARCH})
  set(host_source ${CMAKE_CURRENT_LIST_DIR}/sdk/sdk_host.c)
  set(hosts ${sdk_bin}/sdk_host_mingw.exe)
  # mingw: gcc against lib/<arch>/libQuorvel.dll.a.
  set(build_hosts
    COMMAND ${CMAKE_C_COMPILER} -O1 -Wall -Wextra -Werror -I${sdk}/include ${host_source}
            -L${sdk_lib} -lQuorvel -o ${sdk_bin}/sdk_host_mingw.exe)
  # MSVC ABI: clang for the msvc target and lld-link against lib/<arch>/Quorvel.lib.
  # Debian has no Microsoft C runtime or SDK, so the host uses none (kernel32
  # only, from mingw's import library).
  find_program(QUORVEL_CLANG clang)
  find_program(QUORVEL_LLD_LINK NAMES lld-link lld-link-14)
  find_library(QUORVEL_KERNEL32 kernel32)
  if(QUORVEL_CLANG AND QUORVEL_LLD_LINK AND QUORVEL_KERNEL32)
    list(APPEND hosts ${sdk_bin}/sdk_host_msvc.exe)
    list(APPEND build_hosts
      COMMAND ${QUORVEL_CLANG} --target=${msvc_target} -ffreestanding -fno-builtin -O1
              -Wall -Wextra -Werror -I${sdk}/include -c ${host_source} -o ${unzipped}/sdk_host_msvc.obj
      COMMAND ${QUORVEL_LLD_LINK} /nologo /machine:${msvc_machine} /entry:start /subsystem:console
              /nodefaultlib ${msvc_link_extra} /out:${sdk_bin}/sdk_host_msvc.exe ${unzipped}/sdk_host_msvc.obj
              ${sdk_lib}/Quorvel.lib ${QUORVEL_KERNEL32})
  else()
    add_test(NAME wine.sdk.msvc_host COMMAND ${CMAKE_COMMAND} -E echo "clang, lld-link or kernel32 missing")
    set_tests_properties(wine.sdk.msvc_host PROPERTIES WILL_FAIL ON)
  endif()
  add_custom_command(OUTPUT ${hosts}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${unzipped}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${unzipped}
    COMMAND ${CMAKE_COMMAND} -E chdir ${unzipped} ${CMAKE_COMMAND} -E tar xf ${QUORVEL_SDK_ZIP}
    ${build_hosts}
    DEPENDS ${host_source} ${QUORVEL_SDK_ZIP}
    COMMENT "SDK hosts, built from the unzipped SDK"
    VERBATIM)
  add_custom_target(sdk_hosts ALL DEPENDS ${hosts})
  add_dependencies(sdk_hosts windows_sdk)
  foreach(host ${hosts})
    string(REGEX REPLACE "^.*/sdk_host_([a-z]+)\\.exe$" "\\1" abi ${host})
    if(abi STREQUAL "mingw")
      set(ip 127.15.2.1)
    else()
      set(ip 127.15.2.2)
    endif()
    add_test(NAME wine.sdk.${abi}_host
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/sdk/sdk_host_check.py ${ip}
              ${CMAKE_CROSSCOMPILING_EMULATOR} ${host})
  endforeach()
endif()
