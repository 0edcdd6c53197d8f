# Builds run3010 again from clean in another folder and fails unless the bytes are the same as
# those of the tested build: no time stamp or build path may reach the program file.
# cmake -DSOURCE=... -DWORK=... -DBUILT=... -DGENERATOR=... -DCONFIG=... [-DTOOLCHAIN=...] -DFLAGS=... -DLINK_FLAGS=... -P reproducible.cmake
file(REMOVE_RECURSE ${WORK})
set(toolchain)
if(TOOLCHAIN)
  set(toolchain --toolchain ${TOOLCHAIN})
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK} -G ${GENERATOR} ${toolchain} -DBUILD_TESTING=OFF
          -DCMAKE_BUILD_TYPE=${CONFIG} -DCMAKE_CXX_FLAGS=${FLAGS} -DCMAKE_EXE_LINKER_FLAGS=${LINK_FLAGS}
  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK} --target run3010 OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(name ${BUILT} NAME)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${BUILT} ${WORK}/${name} RESULT_VARIABLE different)
if(different)
  message(FATAL_ERROR "${WORK}/${name} differs from ${BUILT}")
endif()
message(STATUS "${name} rebuilt in ${WORK}: the same bytes")
file(REMOVE_RECURSE ${WORK})
