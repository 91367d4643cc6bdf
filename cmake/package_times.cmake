# Run by cpack on the staged tree before it packs (CPACK_PRE_BUILD_SCRIPTS):
# gives every staged file and folder the time SOURCE_DATE_EPOCH names. cpack
# does that itself for tar archives, but writes the install time into a ZIP.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
  execute_process(COMMAND touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" ${staged} COMMAND_ERROR_IS_FATAL ANY)
endif()
