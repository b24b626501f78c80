# SPDX-License-Identifier: MIT
# Copies quorvel.pas (IN) to OUT with old_delphi_types after SysUtils in its
# uses clause: the copy sees only the types Delphi 7 has.
file(READ ${IN} text)
string(REPLACE "\n  SysUtils;\n" "\n  SysUtils, old_delphi_types;\n" hidden "${text}")
if(hidden STREQUAL text)
  message(FATAL_ERROR "${IN}: no 'uses SysUtils;' line to extend")
endif()
file(WRITE ${OUT} "${hidden}")
