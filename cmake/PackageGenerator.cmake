# Read by cpack once for each package it makes (CPACK_PROJECT_CONFIG_FILE),
# with CPACK_GENERATOR set to that package's generator.
#
# The .deb installs the default component and its Debian documents (copyright
# and changelog.gz in place of LICENSE and CHANGELOG.md); the .tar.gz, like a
# plain install, installs everything but the Debian documents.

if(CPACK_GENERATOR STREQUAL "DEB")
  # Each project is "build folder;project name;component;folder".
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 build_dir)
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 1 project_name)
  set(CPACK_INSTALL_CMAKE_PROJECTS
      ${build_dir} ${project_name} Unspecified /
      ${build_dir} ${project_name} debian_docs /)
endif()
