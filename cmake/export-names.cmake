# The functions that include/TamberLauncher.h exports: the names after
# "VANTOR_API <type> VANTOR_CALL" outside comments and preprocessor lines.
# The one reading of the header for the package's .def and for
# tools/check-exports.sh.
#
#   include(cmake/export-names.cmake), then tamber_export_names(<header> <variable>)
#   cmake -DHEADER=<header> -P cmake/export-names.cmake    prints them, one a line

function(tamber_export_names header variable)
  file(READ ${header} text)
  # Semicolons would split the text as a list; no declaration needs them.
  string(REPLACE ";" " " text "${text}")
  string(REGEX REPLACE "/\\*([^*]|\\*+[^*/])*\\*+/" " " text "${text}")
  string(REGEX REPLACE "//[^\n]*" "" text "${text}")
  string(REGEX REPLACE "(^|\n)[ \t]*#[^\n]*" "\\1" text "${text}")
  string(REGEX MATCHALL "VANTOR_API[^{}()]*VANTOR_CALL[ \t\r\n]+[A-Za-z_][A-Za-z0-9_]*[ \t\r\n]*\\(" declarations
         "${text}")
  set(names "")
  foreach(declaration IN LISTS declarations)
    string(REGEX MATCH "VANTOR_CALL[ \t\r\n]+([A-Za-z_][A-Za-z0-9_]*)" ignored "${declaration}")
    list(APPEND names ${CMAKE_MATCH_1})
  endforeach()
  list(REMOVE_DUPLICATES names)
  set(${variable} ${names} PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  tamber_export_names(${HEADER} names)
  list(JOIN names "\n" lines)
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${lines}")
endif()
