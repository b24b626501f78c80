# Windows-only checks of Quorvel.dll (included by tests/CMakeLists.txt in the mingw build).
add_test(NAME wine.pe_exports_and_imports
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DLIBRARY=$<TARGET_FILE:quorvel>
          -DDEF=${QUORVEL_DEF} -P ${CMAKE_CURRENT_LIST_DIR}/check_pe.cmake)
