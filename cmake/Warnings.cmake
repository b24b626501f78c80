# SPDX-License-Identifier: MIT
# Compiler warnings for every target this project defines. They are set per
# target, at the end of the top-level list file, so a target added anywhere in
# the tree gets them and a project that embeds ours does not.
#   QUORVEL_WERROR=ON    warnings stop the build (dev, asan and mingw presets; CI)
#   QUORVEL_SANITIZE=ON  AddressSanitizer and UndefinedBehaviorSanitizer
#   QUORVEL_SANITIZE_THREAD=ON  ThreadSanitizer
set(QUORVEL_WARNING_FLAGS -Wall -Wextra -Wpedantic)
if(QUORVEL_WERROR)
  list(APPEND QUORVEL_WARNING_FLAGS -Werror)
endif()
# GCC 12 at -O2/-O3 reports overlapping copies that cannot happen inside
# libstdc++'s std::string operator+ (-Wrestrict in char_traits.h), wherever a
# literal and a temporary string are joined. It is a false warning of that
# release alone; other compilers and releases keep the check.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND QUORVEL_WARNING_FLAGS $<$<COMPILE_LANGUAGE:CXX>:-Wno-restrict>)
endif()
if(QUORVEL_SANITIZE)
  set(QUORVEL_SANITIZER_COMPILE_FLAGS
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  set(QUORVEL_SANITIZER_LINK_FLAGS -fsanitize=address,undefined)
elseif(QUORVEL_SANITIZE_THREAD)
  set(QUORVEL_SANITIZER_COMPILE_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
  set(QUORVEL_SANITIZER_LINK_FLAGS -fsanitize=thread)
endif()

function(quorvel_target_flags dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY" OR type STREQUAL "UTILITY")
      continue()
    endif()
    # C and C++ only: not the Windows resource compiler.
    target_compile_options(${target} PRIVATE
      $<$<COMPILE_LANGUAGE:C,CXX>:${QUORVEL_WARNING_FLAGS}>)
    if(QUORVEL_SANITIZER_COMPILE_FLAGS)
      target_compile_options(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:C,CXX>:${QUORVEL_SANITIZER_COMPILE_FLAGS}>)
      if(NOT type STREQUAL "OBJECT_LIBRARY" AND NOT type STREQUAL "STATIC_LIBRARY")
        target_link_options(${target} PRIVATE ${QUORVEL_SANITIZER_LINK_FLAGS})
      endif()
    endif()
  endforeach()
  # Subfolders of this source tree only; GoogleTest's sources, added for the
  # cross-build, keep their own flags.
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${subdir}" NORMALIZE inside)
    if(inside)
      quorvel_target_flags(${subdir})
    endif()
  endforeach()
endfunction()
