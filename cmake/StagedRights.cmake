# Run by cpack after it has installed the files of a package into its staging
# folder and before it packs them (CPACK_PRE_BUILD_SCRIPTS). Folders made by
# the install take their rights from the umask of whoever builds (mkdir masks
# any mode asked for), so under umask 077 a .deb would install folders only
# root can enter: every folder and file is made readable by all here, as the
# install rules ask for the files.
execute_process(COMMAND chmod -R u+rwX,go=rX ${CPACK_TEMPORARY_DIRECTORY} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Could not set the rights of the staged files in ${CPACK_TEMPORARY_DIRECTORY} (chmod): ${result}")
endif()
