# Steps shared by the cmake -P scripts that check an installed or packaged
# tree: fail after removing what the script made, run a command or fail, and
# build and run the consumer against a prefix with the project's compiler and
# flags (a sanitized library links only into a sanitized program).

# The directories a script makes; it lists them here, and fail() and
# remove_scratch() remove them, so that a check leaves nothing behind, passed
# or failed.
set(SCRATCH_DIRS)

function(remove_scratch)
  if(SCRATCH_DIRS)
    file(REMOVE_RECURSE ${SCRATCH_DIRS})
  endif()
endfunction()

function(fail)
  remove_scratch()
  message(FATAL_ERROR ${ARGV})
endfunction()

function(run_step)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("step failed (${status}): ${ARGV}")
  endif()
endfunction()

# Configures CONSUMER_SOURCE into `binary` against `prefix` alone, builds it
# and runs it.
function(build_and_run_consumer prefix binary)
  run_step("${CMAKE_COMMAND}" -S "${CONSUMER_SOURCE}" -B "${binary}"
           -G "${GENERATOR}" "-DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}"
           "-DCMAKE_PREFIX_PATH=${prefix}"
           -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
           "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
           "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}"
           "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
           "-DCMAKE_EXE_LINKER_FLAGS=${EXE_LINKER_FLAGS}")
  run_step("${CMAKE_COMMAND}" --build "${binary}")
  run_step("${binary}/consumer")
endfunction()
