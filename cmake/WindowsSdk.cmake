# SPDX-License-Identifier: MIT
# The Windows SDK (mingw builds only): quorvel-<version>-windows-sdk.zip in the
# build directory, made by the target windows_sdk (scripts/windows-sdk.sh).
#
#   README.md               for Windows developers (docs/windows-sdk/README.md)
#   LICENSE                 the MIT licence the library is under
#   bin/x64/Quorvel.dll     for 64-bit programs
#   bin/x86/Quorvel.dll     for 32-bit programs
#   include/quorvel.h       one header for both
#   lib/<arch>/Quorvel.lib        import library for MSVC (and clang-cl, lld-link)
#   lib/<arch>/libQuorvel.dll.a   import library for mingw-w64
#   lib/<arch>/Quorvel.def        the export table: names and ordinals
#   examples/c (hosts over TCP and through a print queue), examples/csharp,
#   examples/pascal, examples/vb6 (the module and a form's example project)
#
# A build tree makes its own bitness (target quorvel_sdk_part, in sdk/part).
# The other one comes from a build tree of that bitness, named by
# QUORVEL_SDK_SIBLING_DIR (e.g. build/mingw32 for the mingw preset); without
# it the zip holds this tree's bitness alone.
if(NOT PROJECT_IS_TOP_LEVEL)
  return()  # a project that embeds the library keeps its own target names
endif()
find_program(QUORVEL_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14)
if(NOT QUORVEL_LLVM_DLLTOOL)
  message(WARNING "llvm-dlltool not found (Debian: llvm): no Quorvel.lib, no SDK")
  return()
endif()
set(QUORVEL_SDK_SIBLING_DIR "" CACHE PATH
    "Build tree of the other bitness whose sdk/part goes into the SDK zip too")

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QUORVEL_SDK_ARCH x86)
  set(sibling_arch x64)
  # Decorated __stdcall symbols (_separa@8), imported by plain name (-k).
  set(dlltool_arguments -m i386 -k -d ${QUORVEL_LINK_DEF})
else()
  set(QUORVEL_SDK_ARCH x64)
  set(sibling_arch x86)
  set(dlltool_arguments -m i386:x86-64 -d ${QUORVEL_LINK_DEF})
endif()

set(QUORVEL_MSVC_IMPORT_LIB ${PROJECT_BINARY_DIR}/sdk/Quorvel.lib)
add_custom_command(OUTPUT ${QUORVEL_MSVC_IMPORT_LIB}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/sdk
  COMMAND ${QUORVEL_LLVM_DLLTOOL} ${dlltool_arguments} -l ${QUORVEL_MSVC_IMPORT_LIB}
  DEPENDS ${QUORVEL_LINK_DEF}
  COMMENT "Quorvel.lib, the MSVC import library"
  VERBATIM)
add_custom_target(quorvel_msvc_import_lib ALL DEPENDS ${QUORVEL_MSVC_IMPORT_LIB})
# The 32-bit link .def is made in src/ on the way to the DLL: build that first.
add_dependencies(quorvel_msvc_import_lib quorvel)

# This tree's bitness: bin/<arch> and lib/<arch>.
set(part ${PROJECT_BINARY_DIR}/sdk/part)
set(part_dll ${part}/bin/${QUORVEL_SDK_ARCH}/Quorvel.dll)
add_custom_command(OUTPUT ${part_dll}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${part}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${part}/bin/${QUORVEL_SDK_ARCH} ${part}/lib/${QUORVEL_SDK_ARCH}
  COMMAND ${CMAKE_COMMAND} -E copy ${QUORVEL_MSVC_IMPORT_LIB} $<TARGET_LINKER_FILE:quorvel>
          ${part}/lib/${QUORVEL_SDK_ARCH}/
  COMMAND ${CMAKE_COMMAND} -E copy ${QUORVEL_DEF} ${part}/lib/${QUORVEL_SDK_ARCH}/Quorvel.def
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quorvel> ${part_dll}
  DEPENDS quorvel ${QUORVEL_DEF} ${QUORVEL_MSVC_IMPORT_LIB}
  COMMENT "SDK files for ${QUORVEL_SDK_ARCH}"
  VERBATIM)
add_custom_target(quorvel_sdk_part ALL DEPENDS ${part_dll})
add_dependencies(quorvel_sdk_part quorvel_msvc_import_lib)

set(sdk_name quorvel-${PROJECT_VERSION}-windows-sdk)
set(sdk_dir ${PROJECT_BINARY_DIR}/sdk/${sdk_name})
set(QUORVEL_SDK_NAME ${sdk_name})
set(QUORVEL_SDK_ZIP ${PROJECT_BINARY_DIR}/${sdk_name}.zip)
set(QUORVEL_SDK_ARCHES ${QUORVEL_SDK_ARCH})
set(copy_sibling "")
set(sibling_dll "")
if(QUORVEL_SDK_SIBLING_DIR)
  set(sibling_part ${QUORVEL_SDK_SIBLING_DIR}/sdk/part)
  set(sibling_dll ${sibling_part}/bin/${sibling_arch}/Quorvel.dll)
  list(APPEND QUORVEL_SDK_ARCHES ${sibling_arch})
  set(copy_sibling COMMAND ${CMAKE_COMMAND} -E copy_directory ${sibling_part} ${sdk_dir})
endif()

set(src ${PROJECT_SOURCE_DIR})
set(sdk_examples
  c ${src}/examples/host_example.c
  c ${src}/examples/sample_receipt.c
  csharp ${src}/bindings/csharp/Quorvel.cs
  csharp ${src}/bindings/csharp/Example.cs
  pascal ${src}/bindings/pascal/quorvel.pas
  pascal ${src}/bindings/pascal/example.pas
  c ${src}/examples/queue_example.c
  vb6 ${src}/bindings/vb6/Quorvel.bas
  vb6 ${src}/bindings/vb6/ReceiptForm.frm
  vb6 ${src}/bindings/vb6/Example.vbp)
set(copy_examples "")
set(example_files "")
set(example_folders "")
while(sdk_examples)
  list(POP_FRONT sdk_examples folder file)
  list(APPEND copy_examples COMMAND ${CMAKE_COMMAND} -E copy ${file} ${sdk_dir}/examples/${folder}/)
  list(APPEND example_files ${file})
  list(APPEND example_folders ${sdk_dir}/examples/${folder})
endwhile()
list(REMOVE_DUPLICATES example_folders)

add_custom_command(OUTPUT ${QUORVEL_SDK_ZIP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${sdk_dir}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${sdk_dir}/include ${example_folders}
  COMMAND ${CMAKE_COMMAND} -E copy ${src}/docs/windows-sdk/README.md ${src}/LICENSE ${sdk_dir}/
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${part} ${sdk_dir}
  ${copy_sibling}
  COMMAND ${CMAKE_COMMAND} -E copy ${src}/src/api/quorvel.h ${sdk_dir}/include/
  ${copy_examples}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${QUORVEL_SDK_ZIP}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${QUORVEL_SDK_ZIP} --format=zip ${sdk_name}
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/sdk
  DEPENDS ${part_dll} ${sibling_dll} ${src}/src/api/quorvel.h
          ${src}/docs/windows-sdk/README.md ${example_files}
  COMMENT "${sdk_name}.zip (${QUORVEL_SDK_ARCHES})"
  VERBATIM)
add_custom_target(windows_sdk ALL DEPENDS ${QUORVEL_SDK_ZIP})
add_dependencies(windows_sdk quorvel_sdk_part)
