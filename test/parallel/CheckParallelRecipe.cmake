# cmake -P script behind the test of doc/large-corpora.md's recipe: GNU
# parallel splits the real corpus at record starts, runs one annotator per
# piece and puts the pieces' output back in order, which must give the very
# file that one run over the whole corpus writes.
cmake_minimum_required(VERSION 3.25)

foreach(required ANNOTATOR CORPUS WORK_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "CheckParallelRecipe.cmake needs -D${required}=...")
  endif()
endforeach()

# Both skips are matched by the test's SKIP_REGULAR_EXPRESSION.
find_program(PARALLEL parallel)
if(NOT PARALLEL)
  message("SKIPPED: GNU parallel is not installed (apt-get install parallel)")
  return()
endif()
if(NOT EXISTS "${CORPUS}")
  message("SKIPPED: no corpus at ${CORPUS}")
  return()
endif()

# WORK_DIR goes when the check ends, passed or failed.
function(fail)
  file(REMOVE_RECURSE "${WORK_DIR}")
  message(FATAL_ERROR ${ARGV})
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

execute_process(COMMAND "${ANNOTATOR}" "${CORPUS}" "${WORK_DIR}/single.txt"
                OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  fail("one run over ${CORPUS} exited with ${status}")
endif()

# The recipe as doc/large-corpora.md gives it, with the built program in place
# of the installed one.
execute_process(
  COMMAND "${PARALLEL}" --pipe-part -a "${CORPUS}" --block -1
          --recstart "SentenceIndex:" --keep-order
          "'${ANNOTATOR}' /dev/stdin /dev/fd/3 3>&1 >/dev/null"
  OUTPUT_FILE "${WORK_DIR}/pieces.txt"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  fail("parallel exited with ${status}")
endif()

file(SIZE "${WORK_DIR}/single.txt" size)
if(size EQUAL 0)
  fail("one run over ${CORPUS} wrote nothing")
endif()
# cmp names the first byte and line that differ, since the files go.
execute_process(COMMAND cmp "${WORK_DIR}/single.txt" "${WORK_DIR}/pieces.txt"
                RESULT_VARIABLE differ OUTPUT_VARIABLE where ERROR_VARIABLE where)
if(differ)
  fail("the pieces put together differ from one run (one run, pieces): ${where}")
endif()

# The guide's variant for fields that begin with "SentenceIndex:": here every
# record's ConstSeq line does, and four pieces must still put together what
# one run writes, since a piece may only start after a record's empty line.
file(READ "${CORPUS}" corpus)
string(REPLACE "\nConstSeq:" "\nSentenceIndex: ConstSeq:" corpus "${corpus}")
file(WRITE "${WORK_DIR}/fields.txt" "${corpus}")
execute_process(COMMAND "${ANNOTATOR}" "${WORK_DIR}/fields.txt"
                "${WORK_DIR}/single.txt" OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  fail("one run over the file with header-like fields exited with ${status}")
endif()
execute_process(
  COMMAND "${PARALLEL}" -j 4 --pipe-part -a "${WORK_DIR}/fields.txt" --block -1
          --recend "\\n\\n" --recstart "SentenceIndex:" --keep-order
          "'${ANNOTATOR}' /dev/stdin /dev/fd/3 3>&1 >/dev/null"
  OUTPUT_FILE "${WORK_DIR}/pieces.txt"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  fail("parallel --recend exited with ${status}")
endif()
execute_process(COMMAND cmp "${WORK_DIR}/single.txt" "${WORK_DIR}/pieces.txt"
                RESULT_VARIABLE differ OUTPUT_VARIABLE where ERROR_VARIABLE where)
if(differ)
  fail("with --recend, the pieces differ from one run (one run, pieces): ${where}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
message("one run and the pieces agree on ${size} bytes, with header-like fields too")
