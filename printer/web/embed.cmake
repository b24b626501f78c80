# SPDX-License-Identifier: MIT
# Writes the page as a C++ string constant: cmake -DIN=page.html -DOUT=page.cpp -P embed.cmake
file(READ "${IN}" CONTENT)
file(WRITE "${OUT}.tmp"
     "// Generated from printer/web/index.html at build time; edit that file.\n"
     "#include \"web/http_server.h\"\n\n"
     "namespace quorvel::printer {\n"
     "const char* const WEB_PAGE = R\"QVPAGE(${CONTENT})QVPAGE\";\n"
     "}  // namespace quorvel::printer\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
