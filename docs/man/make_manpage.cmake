# SPDX-License-Identifier: MIT
# Makes a man page from a program's own --help with help2man, so the page never
# falls behind the program. With SUBCOMMANDS, each subcommand listed under
# "Subcommands:" in the top-level help gets its own part, from `PROGRAM SUB --help`.
#
# cmake -DHELP2MAN=... -DPROGRAM=... -DNAME="one-line summary" -DVERSION=1.2.0
#       -DINCLUDE=static.h2m -DOUTPUT=page.1 [-DSUBCOMMANDS=ON] -P make_manpage.cmake
get_filename_component(out_dir ${OUTPUT} DIRECTORY)
set(include_file ${OUTPUT}.h2m)
file(READ ${INCLUDE} include_text)

# roff needs backslashes doubled, and a line may not start with . or '.
function(roff_escape text out_var)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out_var} "${text}" PARENT_SCOPE)
endfunction()

if(SUBCOMMANDS)
  execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed")
  endif()
  string(REGEX MATCH "\nSubcommands:\n(([ ]+[^\n]*\n?)+)" _ "${help}")
  string(REGEX MATCHALL "\n  [a-z0-9][a-z0-9-]*" names "\n${CMAKE_MATCH_1}")
  string(APPEND include_text "[SUBCOMMANDS]\n")
  foreach(name ${names})
    string(STRIP "${name}" name)
    execute_process(COMMAND ${PROGRAM} ${name} --help OUTPUT_VARIABLE sub_help RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${PROGRAM} ${name} --help failed")
    endif()
    roff_escape("${sub_help}" sub_help)
    string(APPEND include_text ".SS ${name}\n.nf\n${sub_help}.fi\n")
  endforeach()
endif()
file(WRITE ${include_file} "${include_text}")

execute_process(
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr --section=1
          --version-string=${VERSION} --name=${NAME} --include=${include_file}
          --output=${OUTPUT} ${PROGRAM}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${PROGRAM}")
endif()
