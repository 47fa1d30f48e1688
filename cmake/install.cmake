# What `cmake --install` puts in place: the public header, the shared library
# (on Windows the DLL and its import library), a CMake package that gives the
# imported target TamberLauncher::TamberLauncher, and a pkg-config file. The
# static library of the tests, the tests and the tools stay in the build.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The same name inside this build, for projects that add it as a subfolder.
add_library(TamberLauncher::TamberLauncher ALIAS TamberLauncher)

set(TAMBER_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TamberLauncher)
set(TAMBER_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(TARGETS TamberLauncher EXPORT TamberLauncherTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/TamberLauncher.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT TamberLauncherTargets
  NAMESPACE TamberLauncher::
  DESTINATION ${TAMBER_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TamberLauncherConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/TamberLauncherConfig.cmake
  INSTALL_DESTINATION ${TAMBER_CMAKE_DIR})
# The exported functions only grow within a major version.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/package/TamberLauncherConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/package/TamberLauncherConfig.cmake
  ${PROJECT_BINARY_DIR}/package/TamberLauncherConfigVersion.cmake
  DESTINATION ${TAMBER_CMAKE_DIR})

# The .pc file finds the prefix from its own place, so the tree stays right
# when `cmake --install --prefix` moves it elsewhere than the configured prefix.
file(RELATIVE_PATH TAMBER_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
file(RELATIVE_PATH TAMBER_PC_LIBDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH TAMBER_PC_INCLUDEDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
# RELATIVE_PATH may end its result with a slash; ${prefix} is used as a folder.
string(REGEX REPLACE "/$" "" TAMBER_PC_TO_PREFIX "${TAMBER_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/TamberLauncher.pc.in ${PROJECT_BINARY_DIR}/package/TamberLauncher.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/TamberLauncher.pc DESTINATION ${TAMBER_PKGCONFIG_DIR})
