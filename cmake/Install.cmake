# Installs the library and its header, the command-line tool and the virtual
# printer, with a pkg-config file and a CMake package, so a host finds the
# library by `pkg-config quorvel` or `find_package(Quorvel)` (target Quorvel::quorvel).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUORVEL_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorvel)

install(TARGETS quorvel EXPORT QuorvelTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

install(EXPORT QuorvelTargets
  NAMESPACE Quorvel::
  DESTINATION ${QUORVEL_PACKAGE_DIR}
  COMPONENT development)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/QuorvelConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/QuorvelConfig.cmake
  INSTALL_DESTINATION ${QUORVEL_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QuorvelConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/QuorvelConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/QuorvelConfigVersion.cmake
  DESTINATION ${QUORVEL_PACKAGE_DIR}
  COMPONENT development)

# The .pc file finds its prefix from where it lies, so the tree can be
# installed under any --prefix and moved afterwards.
set(QUORVEL_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH QUORVEL_PC_TO_PREFIX /prefix/${QUORVEL_PC_DIR} /prefix)
string(REGEX REPLACE "/$" "" QUORVEL_PC_TO_PREFIX "${QUORVEL_PC_TO_PREFIX}")
# The Windows import library is libQuorvel.dll.a.
if(WIN32)
  set(QUORVEL_PC_LINK_NAME Quorvel)
else()
  set(QUORVEL_PC_LINK_NAME quorvel)
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/quorvel.pc.in ${CMAKE_CURRENT_BINARY_DIR}/quorvel.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quorvel.pc
  DESTINATION ${QUORVEL_PC_DIR}
  COMPONENT development)

# Programs find the library in ../lib of wherever they are installed.
foreach(tool quorvel_cli quorvel-printer)
  if(TARGET ${tool})
    get_target_property(tool_rpath ${tool} INSTALL_RPATH)
    if(NOT tool_rpath)
      set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
    endif()
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
endforeach()

# Packages of the installed tree: `cpack -G DEB` or `cpack -G TGZ` in the build directory.
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR Quorvel)
set(CPACK_PACKAGE_CONTACT "Quorvel <dev@quorvel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "ESC/POS receipt printer driver library, command-line tool and virtual printer")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR TGZ)
if(NOT WIN32)
  list(APPEND CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  # Dependencies come from the binaries; our own library is inside the package.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src)
endif()
include(CPack)
