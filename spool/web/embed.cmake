# SPDX-License-Identifier: MIT
# Writes a web file as a C++ string constant:
#   cmake -DIN=index.html -DOUT=page.cpp -DNAME=SPOOL_PAGE -P embed.cmake
if(NOT NAME)
  set(NAME SPOOL_PAGE)
endif()
file(READ "${IN}" CONTENT)
get_filename_component(SOURCE "${IN}" NAME)
file(WRITE "${OUT}.tmp"
     "// Generated from spool/web/${SOURCE} at build time; edit that file.\n"
     "namespace quorvel::spool {\n"
     "extern const char* const ${NAME};\n"
     "const char* const ${NAME} = R\"QVPAGE(${CONTENT})QVPAGE\";\n"
     "}  // namespace quorvel::spool\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
