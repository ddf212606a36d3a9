# Run by cpack after it has made a package (CPACK_POST_BUILD_SCRIPTS): the
# .tar.gz is made again from the same staged files, with its entries sorted
# by name. cpack stores them in the order the file system lists them, which
# differs between file systems and machines; sorted, with the times set to
# SOURCE_DATE_EPOCH, owner and group 0, rights that do not depend on the
# umask (the top folder is cpack's own) and gzip -n, two builds of one commit
# give the same file byte for byte.

if(NOT CPACK_GENERATOR STREQUAL "TGZ")
  return()
endif()
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
