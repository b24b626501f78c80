# SPDX-License-Identifier: MIT
# Read by cpack once per generator before it packs: says what comes next, so a
# run is not silent while it installs the tree and compresses.
if(CPACK_GENERATOR STREQUAL "DEB")
  message(STATUS "cpack: Debian packages libquorvel1, libquorvel-dev and quorvel-tools of "
                 "${CPACK_PACKAGE_NAME} ${CPACK_PACKAGE_VERSION}, from the build tree's install "
                 "rules, into ${CPACK_PACKAGE_DIRECTORY}")
else()
  message(STATUS "cpack: ${CPACK_GENERATOR} archive of ${CPACK_PACKAGE_NAME} "
                 "${CPACK_PACKAGE_VERSION} into ${CPACK_PACKAGE_DIRECTORY}")
endif()
