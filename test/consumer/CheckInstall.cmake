# cmake -P script behind the install check: installs the built project into a
# staging prefix, checks that its include/ holds exactly the public headers
# of PUBLIC_HEADER_DIR, then configures, builds and runs the
# consumer against that prefix alone. The consumer gets the project's compiler
# and flags, since a sanitized library links only into a sanitized program.
foreach(required BUILD_DIR STAGE_DIR PUBLIC_HEADER_DIR CONSUMER_SOURCE
                 CONSUMER_BINARY GENERATOR CXX_COMPILER)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "CheckInstall.cmake needs -D${required}=...")
  endif()
endforeach()

function(run_step)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "step failed (${status}): ${ARGV}")
  endif()
endfunction()

file(REMOVE_RECURSE "${STAGE_DIR}" "${CONSUMER_BINARY}")
run_step("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${STAGE_DIR}")

# The prefix holds the public headers and nothing else: an internal helper
# installed beside them would become a promise.
file(GLOB public RELATIVE "${PUBLIC_HEADER_DIR}/.." "${PUBLIC_HEADER_DIR}/*.h")
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${STAGE_DIR}/include"
     "${STAGE_DIR}/include/*")
list(SORT public)
list(SORT installed)
if(NOT public OR NOT installed STREQUAL public)
  message(FATAL_ERROR "installed headers\n  ${installed}\nare not the public "
                      "ones\n  ${public}")
endif()

run_step("${CMAKE_COMMAND}" -S "${CONSUMER_SOURCE}" -B "${CONSUMER_BINARY}"
         -G "${GENERATOR}" "-DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}"
         "-DCMAKE_PREFIX_PATH=${STAGE_DIR}"
         -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
         "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
         "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}"
         "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
         "-DCMAKE_EXE_LINKER_FLAGS=${EXE_LINKER_FLAGS}")
run_step("${CMAKE_COMMAND}" --build "${CONSUMER_BINARY}")
run_step("${CONSUMER_BINARY}/consumer")
