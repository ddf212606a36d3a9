# Release packages with CPack: a .tar.gz and a .deb on Linux, a .zip of the
# Windows programs. `cmake --workflow --preset package` makes all three in
# build-package/packages (the .zip through a Windows cross build, when
# TK_PACKAGE_WINDOWS is on).

if(WIN32)
  # The Windows archive: the programs in bin/, README and LICENSE at its top.
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
else()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME retro-toolkit)
set(CPACK_PACKAGE_VENDOR "The Retro Toolkit authors")
set(CPACK_PACKAGE_CONTACT "The Retro Toolkit authors <maintainers@retro-toolkit.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Shift-JIS source filters and a DCP floppy image packer for retro software")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages CACHE PATH "Where CPack puts the packages")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR TGZ DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "bytequill and glyphmint turn the Japanese text literals of assembler sources\n into Shift-JIS bytes; diskmason packs files into a DCP floppy disk image\n (FAT12); diskquarry lists and extracts such images. Manual pages and a CMake package for build integration included.")
endif()
include(CPack)

# The Windows .zip, made by a cross build of its own next to this one.
option(TK_PACKAGE_WINDOWS "Also make the Windows .zip (needs MinGW-w64)" OFF)
if(TK_PACKAGE_WINDOWS AND NOT WIN32)
  set(TK_WINDOWS_PACKAGE_BUILD ${CMAKE_BINARY_DIR}/windows)
  add_custom_target(windows_package ALL
    COMMAND ${CMAKE_COMMAND} -S ${PROJECT_SOURCE_DIR} -B ${TK_WINDOWS_PACKAGE_BUILD}
            --toolchain ${PROJECT_SOURCE_DIR}/cmake/toolchains/mingw-w64-x86_64.cmake
            -DCMAKE_BUILD_TYPE=Release -DTK_BUILD_TESTS=OFF -DTK_BUILD_BENCHMARKS=OFF
            -DCPACK_PACKAGE_DIRECTORY=${CPACK_PACKAGE_DIRECTORY}
    COMMAND ${CMAKE_COMMAND} --build ${TK_WINDOWS_PACKAGE_BUILD}
    COMMAND ${CMAKE_COMMAND} -E chdir ${TK_WINDOWS_PACKAGE_BUILD} cpack -C Release
    COMMENT "Making the Windows package"
    VERBATIM)
endif()
