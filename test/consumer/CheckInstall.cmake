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

include("${CMAKE_CURRENT_LIST_DIR}/ConsumerSteps.cmake")

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

build_and_run_consumer("${STAGE_DIR}" "${CONSUMER_BINARY}")
