# SPDX-License-Identifier: MIT
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

# The same targets for a build tree: -DQuorvel_DIR=<build dir> finds them there
# without installing.
export(EXPORT QuorvelTargets NAMESPACE Quorvel::
  FILE ${PROJECT_BINARY_DIR}/QuorvelTargets.cmake)

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
# quorvel-printer finds its printer profiles by name in ../share/quorvel-printer/profiles.
if(TARGET quorvel-printer)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/printer/profiles DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvel-printer
    COMPONENT tools)
endif()

# The systemd template unit of the virtual printer, and the environment file
# of an instance as an example (copied to /etc/quorvel-printer/NAME.env by the
# administrator, so the package holds no configuration file of its own).
if(TARGET quorvel-printer AND NOT WIN32)
  set(QUORVEL_SYSTEMD_UNIT_DIR lib/systemd/system CACHE STRING
    "Where the systemd unit goes (relative: under the prefix)")
  install(FILES ${PROJECT_SOURCE_DIR}/printer/service/quorvel-printer@.service
    DESTINATION ${QUORVEL_SYSTEMD_UNIT_DIR} COMPONENT tools)
  install(FILES ${PROJECT_SOURCE_DIR}/printer/service/default.env
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvel-tools/examples COMPONENT tools)
  # The printer's guide, with its web page and HTTP API.
  install(FILES ${PROJECT_SOURCE_DIR}/printer/README.md
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvel-tools COMPONENT tools)
endif()

# Man pages (built by docs/man when help2man is there) go in compressed, as
# man and Debian expect; this runs after their install rules.
if(NOT WIN32)
  install(CODE "
    file(GLOB pages \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1/*.1\")
    foreach(page \${pages})
      execute_process(COMMAND gzip -9nf \${page} COMMAND_ERROR_IS_FATAL ANY)
    endforeach()"
    COMPONENT tools)
endif()

# Each Debian package carries its copyright file and the changelog (a native
# package's changelog.gz, compressed as Debian wants: -9, no name or time).
set(QUORVEL_DEB_COMPONENTS runtime development tools)
set(QUORVEL_DEB_runtime libquorvel1)
set(QUORVEL_DEB_development libquorvel-dev)
set(QUORVEL_DEB_tools quorvel-tools)
set(QUORVEL_DEB_DIR ${PROJECT_BINARY_DIR}/debian)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${QUORVEL_DEB_DIR}/changelog @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/shlibs.in ${QUORVEL_DEB_DIR}/shlibs @ONLY)
find_program(QUORVEL_GZIP gzip)
if(QUORVEL_GZIP AND NOT WIN32)
  execute_process(COMMAND ${QUORVEL_GZIP} -9nf ${QUORVEL_DEB_DIR}/changelog)
endif()
foreach(component ${QUORVEL_DEB_COMPONENTS})
  set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${QUORVEL_DEB_${component}})
  install(FILES ${PROJECT_SOURCE_DIR}/debian/copyright DESTINATION ${doc_dir}
    COMPONENT ${component})
  install(FILES ${QUORVEL_DEB_DIR}/changelog.gz DESTINATION ${doc_dir} COMPONENT ${component}
    OPTIONAL)
endforeach()
# quorvel-printer reads the bitmap fonts of xfonts-base as files, through
# FreeType, not as an X server's fonts; Debian's rule against depending on X
# font packages is about the latter.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/quorvel-tools.lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quorvel-tools COMPONENT tools)

# Packages of the installed tree, in the build directory: `cpack -G DEB` gives
# one Debian package per component (configure with -DCMAKE_INSTALL_PREFIX=/usr,
# as the dev preset does, for the multiarch library folder); `cpack -G TGZ`
# one tarball of everything.
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR Quorvel)
set(CPACK_PACKAGE_CONTACT "Quorvel developers <dev@quorvel.example>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR TGZ)
if(NOT WIN32)
  list(APPEND CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL ${QUORVEL_DEB_COMPONENTS})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quorvel.example/")
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # Dependencies come from the binaries; our own library is a package of its own.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src)
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

  set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libquorvel1)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
  # Loaded on the first print-queue open only, so not found by the shlibs scan.
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "libcups2")
  set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "ESC/POS receipt printer driver library
Quorvel drives ESC/POS receipt printers over TCP or a serial port: text,
barcodes, 2D symbols, paper cut, cash drawer and status, one call each.

This package holds the shared library.")
  # A shlibs file for packages built against it; ldconfig runs by trigger,
  # not by maintainer scripts (which CPack would otherwise write). CPack has
  # no switch for that but scripts of our own, which leave libquorvel1 in
  # state rc after dpkg -r: the packages built by debian/ (dpkg-buildpackage)
  # have none.
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${QUORVEL_DEB_DIR}/shlibs ${CMAKE_CURRENT_LIST_DIR}/debian/triggers
    ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)

  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libquorvel-dev)
  set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "ESC/POS receipt printer driver library (development files)
Quorvel drives ESC/POS receipt printers over TCP or a serial port.

This package holds the header, the pkg-config file and the CMake package
(find_package(Quorvel), target Quorvel::quorvel).")

  set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME quorvel-tools)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
  # The virtual printer draws receipts with these bitmap fonts.
  set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "fonts-terminus, xfonts-base")
  # Double-byte (FS &) glyphs; without it they print as boxes.
  set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS "fonts-wqy-zenhei")
  set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "ESC/POS receipt printer command-line tool and virtual printer
quorvel prints text, barcodes and 2D symbols, cuts, opens the cash drawer
and reads the status of an ESC/POS receipt printer from the shell, through
the Quorvel library. quorvel-printer is a virtual 80 mm receipt printer that
takes the command stream over TCP or a pseudo-terminal and draws each
receipt as a PNG image.")
endif()
# cpack names each step as it goes (see cmake/CPackProject.cmake).
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CPackProject.cmake)
include(CPack)
cpack_add_component(runtime DISPLAY_NAME "Shared library")
cpack_add_component(development DISPLAY_NAME "Development files" DEPENDS runtime)
cpack_add_component(tools DISPLAY_NAME "Command-line tool and virtual printer" DEPENDS runtime)
