# SPDX-License-Identifier: MIT
# The C# and Pascal bindings, each run against quorvel-printer on loopback:
# every function called through the binding must give the same results, and
# put the same bytes at the printer, as the same calls from C. Then three
# printers at once (two on TCP, one on a pty), driven from three threads, each
# getting exactly its own orders; and the restaurant example on the same three.
# Compiled with Debian's mcs (run by mono) and fpc.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_test(NAME bindings.pascal_constants
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_constants.py
          ${PROJECT_SOURCE_DIR}/src/api/quorvel.h ${PROJECT_SOURCE_DIR}/bindings/pascal/quorvel.pas)
# The Visual Basic 6 module against the header and the ordinal table: every
# function (name, ordinal, arguments and how VB passes them) and constant, the
# kernel32 helpers it declares; the example form's calls and result tests.
add_test(NAME bindings.vb6_module
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_vb6_module.py
          ${PROJECT_SOURCE_DIR}/src/api/quorvel.h ${PROJECT_SOURCE_DIR}/src/api/quorvel.def
          ${PROJECT_SOURCE_DIR}/bindings/vb6/Quorvel.bas ${PROJECT_SOURCE_DIR}/bindings/vb6/ReceiptForm.frm)
# The C# and Pascal bindings in a 32-bit process: each import pushes the bytes
# its __stdcall function takes off the stack.
add_test(NAME bindings.x86_stack
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_x86_stack.py
          ${PROJECT_SOURCE_DIR}/src/api/quorvel.h ${PROJECT_SOURCE_DIR}/src/api/quorvel.def
          ${PROJECT_SOURCE_DIR}/bindings/csharp/Quorvel.cs ${PROJECT_SOURCE_DIR}/bindings/pascal/quorvel.pas)

if(QUORVEL_SANITIZE OR NOT QUORVEL_BUILD_TOOLS)
  return()  # a plain runtime cannot load the instrumented library; no printer without tools
endif()
find_program(QUORVEL_MCS mcs)
find_program(QUORVEL_MONO mono)
find_program(QUORVEL_FPC fpc)

add_executable(binding_reference_host ${CMAKE_CURRENT_LIST_DIR}/reference_host.c)
target_link_libraries(binding_reference_host PRIVATE quorvel)

set(bindings_dir ${PROJECT_SOURCE_DIR}/bindings)
set(out ${CMAKE_CURRENT_BINARY_DIR}/bindings)
file(MAKE_DIRECTORY ${out}/pascal ${out}/runtime-only)

# The bindings run where only the runtime package's file is present: the
# library under its soname, without the development symlink libquorvel.so.
set(runtime_only ${out}/runtime-only/libquorvel.so.${PROJECT_VERSION_MAJOR})
add_custom_command(OUTPUT ${runtime_only}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quorvel> ${runtime_only}
  DEPENDS quorvel $<TARGET_FILE:quorvel>)
add_custom_target(binding_runtime_only ALL DEPENDS ${runtime_only})

function(binding_test name ip host)
  add_test(NAME bindings.${name}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/run_binding.py
            --printer $<TARGET_FILE:quorvel-printer> --ip ${ip} --work ${out}/${name}-run
            --reference $<TARGET_FILE:binding_reference_host> --host ${host})
  set_tests_properties(bindings.${name} PROPERTIES TIMEOUT 120
    ENVIRONMENT "LD_LIBRARY_PATH=${out}/runtime-only")
endfunction()

function(several_printers_test name ips host example)
  add_test(NAME bindings.${name}_several_printers
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/run_several.py
            --printer $<TARGET_FILE:quorvel-printer> --ips ${ips} --work ${out}/${name}-several
            --host ${host} --example ${example})
  set_tests_properties(bindings.${name}_several_printers PROPERTIES TIMEOUT 180
    ENVIRONMENT "LD_LIBRARY_PATH=$<TARGET_FILE_DIR:quorvel>")
endfunction()

function(missing_tool_test name tool)
  add_test(NAME bindings.${name}
    COMMAND ${CMAKE_COMMAND} -E echo "${tool} not found: run scripts/bootstrap.sh")
  set_tests_properties(bindings.${name} PROPERTIES WILL_FAIL ON)
endfunction()

if(QUORVEL_MCS AND QUORVEL_MONO)
  set(csharp ${bindings_dir}/csharp)
  add_custom_command(OUTPUT ${out}/binding_host.exe ${out}/several_printers.exe ${out}/Example.exe
    COMMAND ${QUORVEL_MCS} -nologo -warnaserror -out:${out}/binding_host.exe
            ${csharp}/Quorvel.cs ${csharp}/tests/BindingHost.cs
    COMMAND ${QUORVEL_MCS} -nologo -warnaserror -out:${out}/several_printers.exe
            ${csharp}/Quorvel.cs ${csharp}/tests/SeveralPrinters.cs
    COMMAND ${QUORVEL_MCS} -nologo -warnaserror -out:${out}/Example.exe
            ${csharp}/Quorvel.cs ${csharp}/Example.cs
    DEPENDS ${csharp}/Quorvel.cs ${csharp}/tests/BindingHost.cs ${csharp}/tests/SeveralPrinters.cs
            ${csharp}/Example.cs
    COMMENT "C# binding and example (mcs)")
  add_custom_target(csharp_binding ALL
    DEPENDS ${out}/binding_host.exe ${out}/several_printers.exe ${out}/Example.exe)
  binding_test(csharp 127.15.1.1 "${QUORVEL_MONO} ${out}/binding_host.exe")
  several_printers_test(csharp 127.15.2.1,127.15.2.2 "${QUORVEL_MONO} ${out}/several_printers.exe"
                        "${QUORVEL_MONO} ${out}/Example.exe")
else()
  missing_tool_test(csharp "mcs or mono (Debian: mono-mcs, mono-runtime)")
endif()

if(QUORVEL_FPC)
  set(pascal ${bindings_dir}/pascal)
  set(fpc_flags -v0 -Sew -Fu${pascal} -FU${out}/pascal -FE${out}/pascal -Fl$<TARGET_FILE_DIR:quorvel>)
  add_custom_command(
    OUTPUT ${out}/pascal/binding_host ${out}/pascal/several_printers ${out}/pascal/example
    COMMAND ${QUORVEL_FPC} ${fpc_flags} ${pascal}/tests/binding_host.pas
    COMMAND ${QUORVEL_FPC} ${fpc_flags} ${pascal}/tests/several_printers.pas
    COMMAND ${QUORVEL_FPC} ${fpc_flags} ${pascal}/example.pas
    DEPENDS ${pascal}/quorvel.pas ${pascal}/tests/binding_host.pas
            ${pascal}/tests/several_printers.pas ${pascal}/example.pas quorvel
    COMMENT "Pascal binding and example (fpc)")
  add_custom_target(pascal_binding ALL
    DEPENDS ${out}/pascal/binding_host ${out}/pascal/several_printers ${out}/pascal/example)
  binding_test(pascal 127.15.1.2 ${out}/pascal/binding_host)
  several_printers_test(pascal 127.15.2.3,127.15.2.4 ${out}/pascal/several_printers
                        ${out}/pascal/example)
  # As Delphi 7 would build it: RawByteString, UInt64 and SetCodePage hidden
  # (old_delphi_types shadows them in a copy of the unit) and the unit's
  # declarations for such compilers switched on; the same calls, the same bytes.
  set(old_delphi ${out}/pascal-old-delphi)
  file(MAKE_DIRECTORY ${old_delphi})
  add_custom_command(OUTPUT ${old_delphi}/binding_host
    COMMAND ${CMAKE_COMMAND} -DIN=${pascal}/quorvel.pas -DOUT=${old_delphi}/quorvel.pas
            -P ${CMAKE_CURRENT_LIST_DIR}/hide_old_delphi_types.cmake
    COMMAND ${QUORVEL_FPC} -v0 -Sew -dQUORVEL_ANSI_ONLY -Fu${old_delphi} -Fu${CMAKE_CURRENT_LIST_DIR}
            -FU${old_delphi} -FE${old_delphi} -Fl$<TARGET_FILE_DIR:quorvel> ${pascal}/tests/binding_host.pas
    DEPENDS ${pascal}/quorvel.pas ${pascal}/tests/binding_host.pas ${CMAKE_CURRENT_LIST_DIR}/old_delphi_types.pas
            ${CMAKE_CURRENT_LIST_DIR}/hide_old_delphi_types.cmake quorvel
    COMMENT "Pascal binding with Delphi 7's types (fpc)")
  add_custom_target(pascal_binding_old_delphi ALL DEPENDS ${old_delphi}/binding_host)
  binding_test(pascal_old_delphi 127.15.1.3 ${old_delphi}/binding_host)
  add_test(NAME bindings.pascal_readme
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/pascal_readme.sh ${PROJECT_SOURCE_DIR}
            $<TARGET_FILE_DIR:quorvel> ${out}/pascal-readme)
  set_tests_properties(bindings.pascal_readme PROPERTIES TIMEOUT 120)
else()
  missing_tool_test(pascal "fpc (Debian: fp-compiler)")
endif()
