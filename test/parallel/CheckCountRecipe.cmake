# cmake -P script behind the test of doc/large-corpora.md's recipe for counting
# patterns beyond one machine's memory: extract_patterns --tsv, then GNU sort
# and uniq, and --count held to a small --memory, must give the very table
# that extract_patterns --count writes, on the real corpus; across cores
# through GNU parallel too, where it is installed, and --count of pieces
# added up by --merge-counts. Where SCORE_PATTERNS is given, the scoring
# recipe too: score_patterns --counts-only of pieces added up and scored by
# --from-counts must give one score_patterns run's table.
cmake_minimum_required(VERSION 3.25)

foreach(required EXTRACT_PATTERNS CORPUS WORK_DIR)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "CheckCountRecipe.cmake needs -D${required}=...")
  endif()
endforeach()

# The skips are matched by the test's SKIP_REGULAR_EXPRESSION.
find_program(BASH bash)
if(NOT BASH)
  message("SKIPPED: no bash to run the recipe")
  return()
endif()
if(NOT EXISTS "${CORPUS}")
  message("SKIPPED: no corpus at ${CORPUS}")
  return()
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
find_program(PARALLEL parallel)

if(DEFINED SCORE_PATTERNS)
  if(NOT PARALLEL)
    message("GNU parallel is not installed: the scoring recipe is not checked")
  else()
    execute_process(COMMAND "${SCORE_PATTERNS}" --quiet "${CORPUS}"
                            "${WORK_DIR}/score.tsv"
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "score_patterns exited with ${status}")
    endif()
    # As doc/large-corpora.md gives it, with two jobs.
    execute_process(
      COMMAND "${BASH}" -c
              "set -o pipefail; cd '${WORK_DIR}' && parallel -j 2 --pipe-part -a '${CORPUS}' --block -1 --recstart 'SentenceIndex:' \"'${SCORE_PATTERNS}' --quiet --counts-only - piece-{#}.counts\" && '${SCORE_PATTERNS}' --from-counts piece-*.counts -o scored.tsv"
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "the scoring recipe exited with ${status}")
    endif()
    file(GLOB pieces "${WORK_DIR}/piece-*.counts")
    list(LENGTH pieces count)
    if(count LESS 2)
      message(FATAL_ERROR "the scoring recipe made ${count} count files, not 2")
    endif()
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
                            "${WORK_DIR}/score.tsv" "${WORK_DIR}/scored.tsv"
                    RESULT_VARIABLE differ)
    if(differ)
      message(FATAL_ERROR "the scoring recipe's table differs from one run's: "
                          "compare ${WORK_DIR}/score.tsv and "
                          "${WORK_DIR}/scored.tsv")
    endif()
    message("the scoring recipe and one score_patterns run agree")
    file(REMOVE ${pieces})
  endif()
endif()

execute_process(COMMAND "${EXTRACT_PATTERNS}" --count "${CORPUS}"
                        "${WORK_DIR}/count.tsv"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "extract_patterns --count exited with ${status}")
endif()
file(SIZE "${WORK_DIR}/count.tsv" size)
if(size EQUAL 0)
  message(FATAL_ERROR "extract_patterns --count wrote nothing")
endif()

# The recipes as doc/large-corpora.md gives them, with the built program in
# place of the installed one; pipefail, so that a failing step fails the
# recipe.
set(count_tail
    [[uniq -c | sed "s/^ *\([0-9]*\) /\1$tab/" | sort -t "$tab" -k1,1nr -k2]])
set(recipes
    "one-run|'${EXTRACT_PATTERNS}' --tsv '${CORPUS}' | cut -f3- | sort -S 40% | ${count_tail}"
    "bounded|'${EXTRACT_PATTERNS}' --count --memory 16M --temp-dir '${WORK_DIR}' '${CORPUS}'")
if(PARALLEL)
  list(APPEND recipes
       "parallel|parallel --pipe --recstart 'SentenceIndex:' \"'${EXTRACT_PATTERNS}' --tsv /dev/stdin\" < '${CORPUS}' | cut -f3- | sort -S 40% --parallel=2 | ${count_tail}"
       "pieces|parallel -j 3 --pipe-part -a '${CORPUS}' --block -1 --recstart 'SentenceIndex:' \"'${EXTRACT_PATTERNS}' --quiet --count /dev/stdin '${WORK_DIR}/piece-{#}.tsv'\" && '${EXTRACT_PATTERNS}' --merge-counts '${WORK_DIR}'/piece-*.tsv")
else()
  message("GNU parallel is not installed: its recipe is not checked")
endif()

foreach(recipe IN LISTS recipes)
  string(FIND "${recipe}" "|" bar)
  string(SUBSTRING "${recipe}" 0 ${bar} name)
  math(EXPR start "${bar} + 1")
  string(SUBSTRING "${recipe}" ${start} -1 command)
  execute_process(
    COMMAND "${BASH}" -c
            "set -o pipefail; export LC_ALL=C; tab=$(printf '\\t'); ${command}"
    OUTPUT_FILE "${WORK_DIR}/${name}.tsv" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the ${name} recipe exited with ${status}")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
                          "${WORK_DIR}/count.tsv" "${WORK_DIR}/${name}.tsv"
                  RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "the ${name} recipe's table differs from --count: "
                        "compare ${WORK_DIR}/count.tsv and "
                        "${WORK_DIR}/${name}.tsv")
  endif()
  message("the ${name} recipe and --count agree on ${size} bytes")
endforeach()
file(REMOVE_RECURSE "${WORK_DIR}")
