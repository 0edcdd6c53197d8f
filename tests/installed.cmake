# Installs the build into an empty prefix and fails unless each expected file is there.
# cmake -DBUILD=... -DPREFIX=... -DEXPECTED=bin/run3010;share/man/man1/run3010.1 -P installed.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX} OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
foreach(file IN LISTS EXPECTED)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
