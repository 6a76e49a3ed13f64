# cmake -P script behind the install check: installs the built project into a
# staging prefix, checks that its include/ holds exactly the public headers
# of PUBLIC_HEADER_DIR and that its libannotator.a holds none of the programs'
# own code (with NM, or the nm on PATH), then configures, builds and runs the
# consumer against that prefix alone. The consumer gets the project's compiler
# and flags, since a sanitized library links only into a sanitized program.
foreach(required BUILD_DIR STAGE_DIR PUBLIC_HEADER_DIR CONSUMER_SOURCE
                 CONSUMER_BINARY GENERATOR CXX_COMPILER)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "CheckInstall.cmake needs -D${required}=...")
  endif()
endforeach()

include("${CMAKE_CURRENT_LIST_DIR}/ConsumerSteps.cmake")

set(SCRATCH_DIRS "${STAGE_DIR}" "${CONSUMER_BINARY}")
remove_scratch()
run_step("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${STAGE_DIR}")

# The prefix holds the public headers and nothing else: an internal helper
# installed beside them would become a promise.
file(GLOB public RELATIVE "${PUBLIC_HEADER_DIR}/.." "${PUBLIC_HEADER_DIR}/*.h")
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${STAGE_DIR}/include"
     "${STAGE_DIR}/include/*")
list(SORT public)
list(SORT installed)
if(NOT public OR NOT installed STREQUAL public)
  fail("installed headers\n  ${installed}\nare not the public "
       "ones\n  ${public}")
endif()

# The library holds the library alone: what only the programs use lives in
# cli/ and must not ship in it, not even as symbols nobody declares.
if(NOT NM)
  find_program(NM nm)
endif()
file(GLOB_RECURSE archives "${STAGE_DIR}/*/libannotator.a")
list(LENGTH archives count)
if(NOT count EQUAL 1)
  fail("the install holds ${count} libannotator.a, not one: ${archives}")
endif()
execute_process(COMMAND "${NM}" -C "${archives}" RESULT_VARIABLE status
                OUTPUT_VARIABLE symbols ERROR_QUIET)
# A listing without the library's own symbols would let anything pass.
if(NOT status EQUAL 0 OR NOT symbols MATCHES " GetCoEmbeddingScore\\(")
  fail("${NM} -C ${archives} failed (${status}) or lists no library symbols")
endif()
foreach(name RecordFile AppendAnnotatedRecord AppendAnnotationListing
             NameSameFile DescriptorNamesFile ReserveStandardDescriptors
             WritesToDevNull Fatal WriteWhole HoldTerminationDuringWrites
             OpenProgramFiles messages)
  if(symbols MATCHES "[ :~]${name}[(:]")
    string(REGEX MATCH "[^\n]*[ :~]${name}[(:][^\n]*" line "${symbols}")
    fail("libannotator.a holds the program-only ${name}: ${line}")
  endif()
endforeach()

build_and_run_consumer("${STAGE_DIR}" "${CONSUMER_BINARY}")
remove_scratch()
