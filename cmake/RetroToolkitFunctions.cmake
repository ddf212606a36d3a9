# Build rules for projects that use the toolkit: converted sources and disk
# images as custom commands that rebuild exactly when their inputs change.
# The programs print their warnings on standard error, so they show in the
# build log.
#
#   bytequill_source(OUTPUT <out> SOURCE <in> [STRICT])
#   glyphmint_source(OUTPUT <out> SOURCE <in> [PLAIN] [STRICT])
#   diskmason_image(<target> OUTPUT <image> FILELIST <list> [FORMAT <dcp|raw|d88>]
#                   [MAP <file>] [PAD] [STRICT] [WORKING_DIRECTORY <dir>]
#                   [DEPENDS <files or targets>...])
#
# Relative SOURCE and FILELIST paths are taken from the current source folder,
# relative OUTPUT and MAP paths from the current binary folder. Host paths in
# a file list are resolved from WORKING_DIRECTORY, by default the folder that
# holds the list. The image depends, through the dependency file diskmason
# writes, on the list, the boot file and every host file it names. FORMAT
# picks the image format (diskmason --format), dcp by default; emulators
# want PAD with it.

include_guard(GLOBAL)

function(_retro_toolkit_path out path base)
  if(IS_ABSOLUTE "${path}")
    set(${out} "${path}" PARENT_SCOPE)
  else()
    set(${out} "${base}/${path}" PARENT_SCOPE)
  endif()
endfunction()

function(_retro_toolkit_require fn)
  foreach(keyword IN LISTS ARGN)
    if(NOT ARG_${keyword})
      message(FATAL_ERROR "${fn}: ${keyword} is required")
    endif()
  endforeach()
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "${fn}: unexpected arguments: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
endfunction()

# The custom command of a filter: <program> [--strict] <in> <out> [1], with
# the flags the function takes (STRICT, and PLAIN for the third argument).
function(_retro_toolkit_filter program fn flags)
  cmake_parse_arguments(ARG "${flags}" "OUTPUT;SOURCE" "" ${ARGN})
  _retro_toolkit_require(${fn} OUTPUT SOURCE)
  _retro_toolkit_path(source "${ARG_SOURCE}" "${CMAKE_CURRENT_SOURCE_DIR}")
  _retro_toolkit_path(output "${ARG_OUTPUT}" "${CMAKE_CURRENT_BINARY_DIR}")
  set(options)
  if(ARG_STRICT)
    list(APPEND options --strict)
  endif()
  set(extra)
  if(ARG_PLAIN)
    set(extra 1)
  endif()
  get_filename_component(folder "${output}" DIRECTORY)
  add_custom_command(OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${folder}"
    COMMAND RetroToolkit::${program} ${options} -- "${source}" "${output}" ${extra}
    DEPENDS "${source}" RetroToolkit::${program}
    COMMENT "${program} ${ARG_SOURCE}"
    VERBATIM)
endfunction()

# A converted source: <out> from <in> through bytequill.
function(bytequill_source)
  _retro_toolkit_filter(bytequill bytequill_source "STRICT" ${ARGN})
endfunction()

# A converted source: <out> from <in> through glyphmint; PLAIN writes no
# character table (each literal keeps its Shift-JIS bytes).
function(glyphmint_source)
  _retro_toolkit_filter(glyphmint glyphmint_source "PLAIN;STRICT" ${ARGN})
endfunction()

# A disk image built by the target <target> (part of "all").
function(diskmason_image target)
  cmake_parse_arguments(ARG "PAD;STRICT" "OUTPUT;FILELIST;FORMAT;MAP;WORKING_DIRECTORY" "DEPENDS" ${ARGN})
  _retro_toolkit_require(diskmason_image OUTPUT FILELIST)
  if("FORMAT" IN_LIST ARG_KEYWORDS_MISSING_VALUES OR (DEFINED ARG_FORMAT AND NOT ARG_FORMAT MATCHES "^(dcp|raw|d88)$"))
    message(FATAL_ERROR "diskmason_image: FORMAT is dcp, raw or d88, not '${ARG_FORMAT}'")
  endif()
  _retro_toolkit_path(list "${ARG_FILELIST}" "${CMAKE_CURRENT_SOURCE_DIR}")
  _retro_toolkit_path(image "${ARG_OUTPUT}" "${CMAKE_CURRENT_BINARY_DIR}")
  if(ARG_WORKING_DIRECTORY)
    _retro_toolkit_path(workdir "${ARG_WORKING_DIRECTORY}" "${CMAKE_CURRENT_SOURCE_DIR}")
  else()
    get_filename_component(workdir "${list}" DIRECTORY)
  endif()
  set(depfile "${image}.d")
  set(options --depfile "${depfile}" -C "${workdir}")
  set(outputs "${image}")
  if(ARG_MAP)
    _retro_toolkit_path(map "${ARG_MAP}" "${CMAKE_CURRENT_BINARY_DIR}")
    list(APPEND options --map "${map}")
    list(APPEND outputs "${map}")
  endif()
  if(ARG_FORMAT)
    list(APPEND options --format ${ARG_FORMAT})
  endif()
  if(ARG_PAD)
    list(APPEND options --pad)
  endif()
  if(ARG_STRICT)
    list(APPEND options --strict)
  endif()
  get_filename_component(folder "${image}" DIRECTORY)
  add_custom_command(OUTPUT ${outputs}
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${folder}"
    COMMAND RetroToolkit::diskmason ${options} -- "${list}" "${image}"
    DEPENDS "${list}" RetroToolkit::diskmason ${ARG_DEPENDS}
    DEPFILE "${depfile}"
    COMMENT "diskmason ${ARG_FILELIST}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()
