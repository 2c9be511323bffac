# Run by CPack on its staging folder before it packs: compresses man pages.
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_DIRECTORY}/*.1")
foreach(page IN LISTS pages)
  execute_process(COMMAND gzip -9 --no-name --force "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
