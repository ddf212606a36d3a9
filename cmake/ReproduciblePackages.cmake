# Run by cpack after it has made a package (CPACK_POST_BUILD_SCRIPTS), so that
# two builds of one commit with SOURCE_DATE_EPOCH set give the same packages
# byte for byte, on any file system and with any umask.
#
# The .tar.gz is made again from the same staged files with its entries
# sorted by name: cpack stores them in the order the file system lists them,
# which differs between file systems and machines. Times are set to
# SOURCE_DATE_EPOCH, owner and group to 0, rights made independent of the
# umask (cpack makes the top folder itself), and gzip -n stores no time.
#
# The .deb is an ar archive whose three members cpack gives the rights of the
# files it wrote them from, which follow the umask: they are set to 0644.

if(CPACK_GENERATOR STREQUAL "TGZ")
  set(times "")
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(times --mtime=@$ENV{SOURCE_DATE_EPOCH})
  endif()
  foreach(package IN LISTS CPACK_PACKAGE_FILES)
    execute_process(
      COMMAND tar --create --file=- --format=gnu --sort=name ${times}
              --owner=0 --group=0 --numeric-owner --mode=go=rX,u+rw,a-s ${CPACK_PACKAGE_FILE_NAME}
      COMMAND gzip -9n
      WORKING_DIRECTORY ${CPACK_TOPLEVEL_DIRECTORY}
      OUTPUT_FILE ${package}.sorted
      RESULTS_VARIABLE results)
    if(NOT results STREQUAL "0;0")
      message(FATAL_ERROR "Could not make ${package} again with sorted entries (GNU tar and gzip): ${results}")
    endif()
    file(RENAME ${package}.sorted ${package})
  endforeach()
elseif(CPACK_GENERATOR STREQUAL "DEB")
  # After the signature "!<arch>\n", each member is a 60-byte header (name 16,
  # date 12, owner 6, group 6, mode 8, size 10, then "`\n") and its data,
  # padded to an even length.
  set(mode_file ${CPACK_TOPLEVEL_DIRECTORY}/member-mode)
  file(WRITE ${mode_file} "100644  ")
  foreach(package IN LISTS CPACK_PACKAGE_FILES)
    file(SIZE ${package} end)
    set(at 8)
    while(at LESS end)
      math(EXPR field "${at} + 48")
      file(READ ${package} size OFFSET ${field} LIMIT 10)
      math(EXPR field "${at} + 58")
      file(READ ${package} header_end OFFSET ${field} LIMIT 2)
      string(STRIP "${size}" size)
      if(NOT header_end STREQUAL "`\n" OR NOT size MATCHES "^[0-9]+$")
        message(FATAL_ERROR "${package}: no ar member header at byte ${at}")
      endif()
      math(EXPR field "${at} + 40")
      execute_process(COMMAND dd of=${package} bs=1 seek=${field} conv=notrunc status=none
                      INPUT_FILE ${mode_file} RESULT_VARIABLE result)
      if(NOT result EQUAL 0)
        message(FATAL_ERROR "${package}: could not set the rights of its members (dd): ${result}")
      endif()
      math(EXPR at "${at} + 60 + ${size} + ${size} % 2")
    endwhile()
  endforeach()
endif()
