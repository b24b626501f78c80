# SPDX-License-Identifier: MIT
# The Windows SDK (mingw build only): quorvel-<version>-win64-sdk.zip in the
# build directory, made by the target windows_sdk (scripts/windows-sdk.sh).
#
#   README.md               for Windows developers (docs/windows-sdk/README.md)
#   LICENSE                 the MIT licence the library is under
#   bin/Quorvel.dll
#   include/quorvel.h
#   lib/Quorvel.lib         import library for MSVC (and clang-cl, lld-link), from the .def
#   lib/libQuorvel.dll.a    import library for mingw-w64
#   lib/Quorvel.def         the export table: names and ordinals
#   examples/c, examples/csharp, examples/pascal
if(NOT PROJECT_IS_TOP_LEVEL)
  return()  # a project that embeds the library keeps its own target names
endif()
find_program(QUORVEL_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14)
if(NOT QUORVEL_LLVM_DLLTOOL)
  message(WARNING "llvm-dlltool not found (Debian: llvm): no Quorvel.lib, no SDK")
  return()
endif()

set(QUORVEL_MSVC_IMPORT_LIB ${PROJECT_BINARY_DIR}/sdk/Quorvel.lib)
add_custom_command(OUTPUT ${QUORVEL_MSVC_IMPORT_LIB}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/sdk
  COMMAND ${QUORVEL_LLVM_DLLTOOL} -m i386:x86-64 -d ${QUORVEL_DEF} -l ${QUORVEL_MSVC_IMPORT_LIB}
  DEPENDS ${QUORVEL_DEF}
  COMMENT "Quorvel.lib, the MSVC import library"
  VERBATIM)
add_custom_target(quorvel_msvc_import_lib ALL DEPENDS ${QUORVEL_MSVC_IMPORT_LIB})

set(sdk_name quorvel-${PROJECT_VERSION}-win64-sdk)
set(sdk_dir ${PROJECT_BINARY_DIR}/sdk/${sdk_name})
set(QUORVEL_SDK_ZIP ${PROJECT_BINARY_DIR}/${sdk_name}.zip)
set(src ${PROJECT_SOURCE_DIR})
set(sdk_examples
  c ${src}/examples/host_example.c
  c ${src}/examples/sample_receipt.c
  csharp ${src}/bindings/csharp/Quorvel.cs
  csharp ${src}/bindings/csharp/Example.cs
  pascal ${src}/bindings/pascal/quorvel.pas
  pascal ${src}/bindings/pascal/example.pas)
set(copy_examples "")
set(example_files "")
while(sdk_examples)
  list(POP_FRONT sdk_examples folder file)
  list(APPEND copy_examples COMMAND ${CMAKE_COMMAND} -E copy ${file} ${sdk_dir}/examples/${folder}/)
  list(APPEND example_files ${file})
endwhile()

add_custom_command(OUTPUT ${QUORVEL_SDK_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${sdk_dir}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${sdk_dir}/bin ${sdk_dir}/include ${sdk_dir}/lib
          ${sdk_dir}/examples/c ${sdk_dir}/examples/csharp ${sdk_dir}/examples/pascal
  COMMAND ${CMAKE_COMMAND} -E copy ${src}/docs/windows-sdk/README.md ${src}/LICENSE ${sdk_dir}/
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quorvel> ${sdk_dir}/bin/
  COMMAND ${CMAKE_COMMAND} -E copy ${src}/src/api/quorvel.h ${sdk_dir}/include/
  COMMAND ${CMAKE_COMMAND} -E copy ${QUORVEL_MSVC_IMPORT_LIB} $<TARGET_LINKER_FILE:quorvel> ${sdk_dir}/lib/
  COMMAND ${CMAKE_COMMAND} -E copy ${QUORVEL_DEF} ${sdk_dir}/lib/Quorvel.def
  ${copy_examples}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${QUORVEL_SDK_ZIP}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${QUORVEL_SDK_ZIP} --format=zip ${sdk_name}
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/sdk
  DEPENDS quorvel ${QUORVEL_DEF} ${src}/src/api/quorvel.h
          ${src}/docs/windows-sdk/README.md ${example_files}
  COMMENT "${sdk_name}.zip"
  VERBATIM)
add_custom_target(windows_sdk ALL DEPENDS ${QUORVEL_SDK_ZIP})
add_dependencies(windows_sdk quorvel_msvc_import_lib)
