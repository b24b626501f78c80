# SPDX-License-Identifier: MIT
# Writes the page as a C++ string constant: cmake -DIN=index.html -DOUT=page.cpp -P embed.cmake
file(READ "${IN}" CONTENT)
file(WRITE "${OUT}.tmp"
     "// Generated from spool/web/index.html at build time; edit that file.\n"
     "namespace quorvel::spool {\n"
     "extern const char* const SPOOL_PAGE;\n"
     "const char* const SPOOL_PAGE = R\"QVPAGE(${CONTENT})QVPAGE\";\n"
     "}  // namespace quorvel::spool\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
