# The Windows package, TamberLauncher-<version>-win32.zip (win64 for the x86_64
# build): what `cmake --install` puts in place, plus a module-definition file,
# an import library for the Microsoft linker and a readme. Made by
#   cmake --workflow --preset win32-package
set(TAMBER_DEF ${PROJECT_BINARY_DIR}/package/TamberLauncher.def)
set(TAMBER_MSVC_IMPLIB ${PROJECT_BINARY_DIR}/package/TamberLauncher.lib)

# The .def names every function the header declares, so the two never differ.
include(${CMAKE_CURRENT_LIST_DIR}/export-names.cmake)
set(header ${PROJECT_SOURCE_DIR}/include/TamberLauncher.h)
tamber_export_names(${header} names)
set(def "LIBRARY TamberLauncher.dll\nEXPORTS\n")
foreach(name IN LISTS names)
  string(APPEND def "    ${name}\n")
endforeach()
file(CONFIGURE OUTPUT ${TAMBER_DEF} CONTENT "${def}")

# The Microsoft linker reads an import library made from the .def; the names
# are cdecl, so 32-bit symbols carry the one leading underscore it expects.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(machine i386)
  set(TAMBER_PACKAGE_SYSTEM win32)
else()
  set(machine i386:x86-64)
  set(TAMBER_PACKAGE_SYSTEM win64)
endif()
add_custom_command(OUTPUT ${TAMBER_MSVC_IMPLIB}
  COMMAND ${CMAKE_DLLTOOL} -m ${machine} -d TamberLauncher.def -D TamberLauncher.dll -l TamberLauncher.lib
  DEPENDS ${TAMBER_DEF}
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/package
  COMMENT "Import library for the Microsoft linker: TamberLauncher.lib"
  VERBATIM)
add_custom_target(tamber_msvc_implib ALL DEPENDS ${TAMBER_MSVC_IMPLIB})

install(FILES ${TAMBER_DEF} ${TAMBER_MSVC_IMPLIB} DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/cmake/package-readme.txt DESTINATION . RENAME README.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME TamberLauncher-${PROJECT_VERSION}-${TAMBER_PACKAGE_SYSTEM})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
include(CPack)
