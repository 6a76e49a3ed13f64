# cmake -P script behind the package check: makes the Debian package of a
# build tree with cpack (or takes the one given as DEB), checks its name and
# control fields, checks that it holds exactly what the install rules
# install, unpacks it into a scratch root and runs the unpacked annotator on
# the bundled example, which must write what the built program writes. With
# CONSUMER_SOURCE it also builds the consumer against the unpacked /usr, so
# the CMake package works wherever the tree is unpacked.
cmake_minimum_required(VERSION 3.25)

foreach(required BUILD_DIR WORK_DIR EXAMPLE)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "CheckPackage.cmake needs -D${required}=...")
  endif()
endforeach()

find_program(DPKG_DEB dpkg-deb)
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(FILE_COMMAND file)
set(missing)
if(NOT DPKG_DEB)
  list(APPEND missing dpkg-deb)
endif()
if(NOT DPKG_SHLIBDEPS)
  list(APPEND missing dpkg-shlibdeps)
endif()
if(NOT FILE_COMMAND)
  list(APPEND missing file)
endif()
if(missing)
  # Matched by the test's SKIP_REGULAR_EXPRESSION.
  string(REPLACE ";" ", " missing "${missing}")
  message("SKIPPED: building a Debian package needs tools this machine "
          "lacks: ${missing} (apt-get install dpkg-dev file)")
  return()
endif()
# Without VERSION, the version the build tree packages.
if(NOT VERSION)
  include("${BUILD_DIR}/CPackConfig.cmake")
  set(VERSION "${CPACK_PACKAGE_VERSION}")
endif()

include("${CMAKE_CURRENT_LIST_DIR}/../consumer/ConsumerSteps.cmake")

function(output_of variable)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status
                  OUTPUT_VARIABLE output OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    fail("step failed (${status}): ${ARGN}")
  endif()
  set(${variable} "${output}" PARENT_SCOPE)
endfunction()

set(SCRATCH_DIRS "${WORK_DIR}")
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

if(NOT DEB)
  if(NOT CPACK)
    set(CPACK "${CMAKE_CPACK_COMMAND}")
  endif()
  run_step("${CPACK}" -G DEB --config "${BUILD_DIR}/CPackConfig.cmake"
           -B "${WORK_DIR}/cpack")
  file(GLOB DEB "${WORK_DIR}/cpack/*.deb")
  list(LENGTH DEB count)
  if(NOT count EQUAL 1)
    fail("cpack made ${count} packages, not one: ${DEB}")
  endif()
endif()

output_of(arch dpkg --print-architecture)
get_filename_component(name "${DEB}" NAME)
if(NOT name STREQUAL "annotator_${VERSION}_${arch}.deb")
  fail("package named ${name}, not annotator_${VERSION}_${arch}.deb")
endif()

output_of(info "${DPKG_DEB}" -I "${DEB}")
message("${info}")
foreach(field "Package: annotator" "Version: ${VERSION}"
              "Architecture: ${arch}" "Maintainer: [^\n]*@" "Section: "
              "Homepage: " "Description: [^\n]+\n [^\n]+" "Depends: [^\n]*libc6"
              "Depends: [^\n]*zlib1g")
  if(NOT info MATCHES "\n ?${field}")
    fail("control fields lack \"${field}\"")
  endif()
endforeach()

output_of(listing "${DPKG_DEB}" -c "${DEB}")
message("${listing}")

# Everything the install rules put under a prefix, and nothing else, must be
# in the package under /usr.
set(root "${WORK_DIR}/root")
run_step("${DPKG_DEB}" -x "${DEB}" "${root}")
# The plain install goes under a prefix named usr too: the Python package's
# place depends on it.
run_step("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/install/usr")
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${WORK_DIR}/install/usr"
     "${WORK_DIR}/install/usr/*")
file(GLOB_RECURSE packaged LIST_DIRECTORIES false RELATIVE "${root}/usr"
     "${root}/*")
list(SORT installed)
list(SORT packaged)
if(NOT installed STREQUAL packaged)
  fail("the package holds\n  ${packaged}\nbut the install rules "
                      "install\n  ${installed}")
endif()
foreach(part "bin/annotator" "share/man/man1/annotator.1" "libannotator\\.a"
             "bin/make_examples" "share/man/man1/make_examples\\.1"
             "bin/score_patterns" "share/man/man1/score_patterns\\.1"
             "include/annotator/ParseParser\\.h" "cmake/annotator/annotatorConfig\\.cmake")
  if(NOT packaged MATCHES "${part}")
    fail("the package lacks ${part}")
  endif()
endforeach()

foreach(program packaged built)
  if(program STREQUAL "packaged")
    set(annotator "${root}/usr/bin/annotator")
  else()
    set(annotator "${BUILD_DIR}/annotator")
  endif()
  execute_process(COMMAND "${annotator}" "${EXAMPLE}" "${WORK_DIR}/${program}.txt"
                  RESULT_VARIABLE status OUTPUT_VARIABLE ${program}_stdout
                  ERROR_VARIABLE ${program}_stderr)
  if(NOT status EQUAL 0 OR NOT ${program}_stderr STREQUAL "")
    fail("${annotator} exited with ${status}: ${${program}_stderr}")
  endif()
  file(READ "${WORK_DIR}/${program}.txt" ${program}_output)
endforeach()
if(NOT packaged_output MATCHES "CoEmbeddingScore: [1-9]")
  fail("the packaged annotator wrote no scores:\n${packaged_output}")
endif()
if(NOT packaged_output STREQUAL built_output OR
   NOT packaged_stdout STREQUAL built_stdout)
  fail("the packaged annotator's output differs from the built one's")
endif()

# Where the build has the Python module, the package carries it where
# Debian's interpreter finds it, and it writes what the program writes.
if(packaged MATCHES "lib/python3/dist-packages/annotator/__init__\\.py")
  # The extension loads into one CPython only, the one its name gives; the
  # package must name that python3.
  if(NOT packaged MATCHES "/_annotator\\.cpython-3([0-9]+)-")
    fail("the package's Python module has no CPython extension")
  endif()
  set(minor "${CMAKE_MATCH_1}")
  math(EXPR next "${minor} + 1")
  set(relation "python3 \\(>= 3\\.${minor}~\\), python3 \\(<< 3\\.${next}\\)")
  if(NOT info MATCHES "\n ?(Suggests|Recommends|Depends): [^\n]*${relation}")
    fail("control fields name no python3 (>= 3.${minor}~), python3 (<< 3.${next})")
  endif()
  find_program(PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
  set(site "${root}/usr/lib/python3/dist-packages")
  # A sanitized module loads only behind its sanitizer's shared runtime.
  set(preload "")
  if(CXX_FLAGS MATCHES "-fsanitize=[^ ]*address")
    foreach(runtime libclang_rt.asan-x86_64.so libasan.so libubsan.so)
      execute_process(COMMAND "${CXX_COMPILER}" -print-file-name=${runtime}
                      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
        list(APPEND preload "${path}")
      endif()
      # clang's one runtime holds both sanitizers.
      if(runtime STREQUAL "libclang_rt.asan-x86_64.so" AND preload)
        break()
      endif()
    endforeach()
    list(JOIN preload " " preload)
  endif()
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env "PYTHONPATH=${site}" "LD_PRELOAD=${preload}"
            ASAN_OPTIONS=detect_leaks=0 "${PYTHON3}" -c
      "import sys, annotator; assert annotator.__file__.startswith(sys.argv[1]), annotator.__file__; print(annotator.annotate(sys.argv[2], sys.argv[3]))"
      "${site}" "${EXAMPLE}" "${WORK_DIR}/python.txt"
    RESULT_VARIABLE status OUTPUT_VARIABLE count ERROR_VARIABLE python_stderr)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the packaged Python module failed (${status}): ${python_stderr}")
  endif()
  file(READ "${WORK_DIR}/python.txt" python_output)
  if(NOT python_output STREQUAL built_output)
    message(FATAL_ERROR "the packaged Python module's annotate differs from the program")
  endif()
  message("packaged Python module annotated ${count} records")
endif()

if(CONSUMER_SOURCE)
  build_and_run_consumer("${root}/usr" "${WORK_DIR}/consumer")
endif()

remove_scratch()
