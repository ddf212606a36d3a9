# `cmake --workflow --preset example`: installs the toolkit into
# ${CMAKE_BINARY_DIR}/example-toolkit, then configures and builds the example
# project in examples/ against that installed package, into
# ${CMAKE_BINARY_DIR}/example (disk.dcp, disk.map and the converted sources).

set(TK_EXAMPLE_PREFIX ${CMAKE_BINARY_DIR}/example-toolkit)
set(TK_EXAMPLE_BUILD ${CMAKE_BINARY_DIR}/example)
add_custom_target(example
  COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${TK_EXAMPLE_PREFIX} --config $<CONFIG>
  COMMAND ${CMAKE_COMMAND} -S ${PROJECT_SOURCE_DIR}/examples -B ${TK_EXAMPLE_BUILD}
          -G ${CMAKE_GENERATOR} -DCMAKE_PREFIX_PATH=${TK_EXAMPLE_PREFIX}
  COMMAND ${CMAKE_COMMAND} -E env --unset=CMAKE_BUILD_PARALLEL_LEVEL ${CMAKE_COMMAND} --build ${TK_EXAMPLE_BUILD}
  DEPENDS bytequill glyphmint diskmason
  COMMENT "Building the example project against the installed toolkit"
  VERBATIM)
# The install also takes the compressed manual pages.
if(TARGET man_pages)
  add_dependencies(example man_pages)
endif()
