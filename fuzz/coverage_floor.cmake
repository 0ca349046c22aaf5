# cmake -DFUZZER=... -DRUNS=... -DFLOOR=... -DSEEDS=a,b,c -P coverage_floor.cmake
#
# Runs a fuzzer a fixed number of times from its seeds alone, with a fixed seed,
# and fails when the coverage it reports at the end is below FLOOR: a sign that
# the code under test lost its instrumentation, or that the fuzzer no longer
# reaches it. Nothing is written to any corpus.
foreach(variable FUZZER RUNS FLOOR SEEDS)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "coverage_floor.cmake needs -D${variable}=...")
    endif()
endforeach()

execute_process(
    COMMAND ${FUZZER} -seed=1 -runs=${RUNS} -timeout=5 -rss_limit_mb=2048 -seed_inputs=${SEEDS}
    RESULT_VARIABLE status
    ERROR_VARIABLE output
    OUTPUT_VARIABLE ignored)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the fuzzer failed (${status}):\n${output}")
endif()
# The DONE line carries the coverage after the last run.
string(REGEX MATCH "DONE +cov: ([0-9]+) ft: ([0-9]+)" done "${output}")
if(NOT done)
    message(FATAL_ERROR "no coverage figure in the fuzzer's output:\n${output}")
endif()
set(cov ${CMAKE_MATCH_1})
set(ft ${CMAKE_MATCH_2})
if(cov LESS FLOOR)
    message(FATAL_ERROR "cov: ${cov} (ft: ${ft}) after ${RUNS} runs, below the floor of ${FLOOR}")
endif()
message(STATUS "cov: ${cov} (ft: ${ft}) after ${RUNS} runs; floor ${FLOOR}")
