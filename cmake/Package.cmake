# The installed CMake package: find_package(RetroToolkit CONFIG) gives the
# imported programs RetroToolkit::bytequill, ::glyphmint, ::diskmason,
# ::diskquarry and the
# functions of RetroToolkitFunctions.cmake.

include(CMakePackageConfigHelpers)
set(TK_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/RetroToolkit)

install(EXPORT RetroToolkitTargets NAMESPACE RetroToolkit:: DESTINATION ${TK_PACKAGE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/RetroToolkitConfig.cmake.in
  ${PROJECT_BINARY_DIR}/RetroToolkitConfig.cmake
  INSTALL_DESTINATION ${TK_PACKAGE_DIR})
# The package holds programs only, so any consumer architecture may use it.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/RetroToolkitConfigVersion.cmake
  COMPATIBILITY SameMajorVersion
  ARCH_INDEPENDENT)
install(FILES
  ${PROJECT_BINARY_DIR}/RetroToolkitConfig.cmake
  ${PROJECT_BINARY_DIR}/RetroToolkitConfigVersion.cmake
  ${PROJECT_SOURCE_DIR}/cmake/RetroToolkitFunctions.cmake
  DESTINATION ${TK_PACKAGE_DIR})
