# Runs one fuzz target over a fresh copy of its seed corpus; any finding
# (crash, broken invariant, leak, time-out, memory limit) fails.
#   cmake -DFUZZER=<exe> -DSEEDS=<dir> -DWORK=<dir> -DOPTIONS=<list> -P run_fuzzer.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/artifacts)
file(COPY ${SEEDS}/ DESTINATION ${WORK}/corpus)

execute_process(COMMAND ${FUZZER} ${OPTIONS} -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus
                RESULT_VARIABLE result)
file(GLOB findings ${WORK}/artifacts/*)
if(NOT result EQUAL 0 OR findings)
  message(FATAL_ERROR "${FUZZER} exited with ${result}; findings: ${findings}")
endif()
