# Release packages with CPack: a .tar.gz and a .deb on Linux, a .zip of the
# Windows programs. `cmake --workflow --preset package` makes all three in
# build-package/packages (the .zip through a Windows cross build, when
# TK_PACKAGE_WINDOWS is on). With SOURCE_DATE_EPOCH set, two builds of one
# commit give the same .tar.gz and .deb byte for byte.

set(TK_PACKAGE_CONTACT "The Retro Toolkit authors <maintainers@retro-toolkit.invalid>")
if(WIN32)
  # The Windows archive: the programs in bin/, the documents at its top.
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
          DESTINATION .)
else()
  # Documents: README everywhere; LICENSE and CHANGELOG.md in the .tar.gz and
  # a plain install; the .deb carries them in Debian's own forms instead
  # (copyright, changelog.gz), which only it installs (see
  # PackageGenerator.cmake). Everything else has the default component and
  # goes into every package.
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT upstream_docs)

  find_program(TK_GZIP gzip REQUIRED)
  set(debian_dir ${CMAKE_BINARY_DIR}/debian)
  add_custom_command(OUTPUT ${debian_dir}/copyright
    COMMAND ${CMAKE_COMMAND} -DLICENSE=${PROJECT_SOURCE_DIR}/LICENSE -DOUTPUT=${debian_dir}/copyright
            -DPACKAGE=retro-toolkit -DCONTACT=${TK_PACKAGE_CONTACT}
            -P ${PROJECT_SOURCE_DIR}/cmake/DebianCopyright.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/cmake/DebianCopyright.cmake
    COMMENT "Writing the Debian copyright file"
    VERBATIM)
  add_custom_command(OUTPUT ${debian_dir}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -DCHANGELOG=${PROJECT_SOURCE_DIR}/CHANGELOG.md -DOUTPUT=${debian_dir}/changelog
            -DPACKAGE=retro-toolkit -DVERSION=${PROJECT_VERSION} -DMAINTAINER=${TK_PACKAGE_CONTACT}
            -P ${PROJECT_SOURCE_DIR}/cmake/DebianChangelog.cmake
    COMMAND ${TK_GZIP} -9nf ${debian_dir}/changelog
    DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/cmake/DebianChangelog.cmake
    COMMENT "Writing the Debian changelog from CHANGELOG.md"
    VERBATIM)
  add_custom_target(debian_docs ALL DEPENDS ${debian_dir}/copyright ${debian_dir}/changelog.gz)
  install(FILES ${debian_dir}/copyright ${debian_dir}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian_docs EXCLUDE_FROM_ALL)
endif()

set(CPACK_PACKAGE_NAME retro-toolkit)
set(CPACK_PACKAGE_VENDOR "The Retro Toolkit authors")
set(CPACK_PACKAGE_CONTACT ${TK_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Shift-JIS source filters and floppy disk image tools for retro software")
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
  # CPack starts each line after the first with the one space of a
  # continuation line: a line given here with more would show as preformatted.
  string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "bytequill and glyphmint turn the Japanese text literals of assembler"
    "sources into Shift-JIS bytes. diskmason packs files into a FAT12 floppy"
    "disk image (DCP, raw or D88); diskquarry lists, checks and extracts such"
    "images. Manual pages, bash completion and a CMake package for build"
    "integration are included.")
  # Per generator: the documents of the .deb; packages that do not depend on
  # the file system or the umask.
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/PackageGenerator.cmake)
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/StagedRights.cmake)
  set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/ReproduciblePackages.cmake)
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
