# SPDX-License-Identifier: MIT
# scripts/debian-packages.txt names every package debian/control builds with and
# every program a test stage runs, so a fresh machine's bootstrap is enough.
add_test(NAME bootstrap_package_list
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/check_package_list.py ${PROJECT_SOURCE_DIR})
