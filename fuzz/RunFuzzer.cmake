# Runs one fuzz target for a while, as a CTest test (fuzz/CMakeLists.txt):
#
#   cmake -DFUZZER=<executable> -DSEEDS=<seed folder> -DWORK=<folder>
#         -DFINDINGS=<folder> -DSECONDS=<default run time> -P RunFuzzer.cmake
#
# The run starts from the committed seeds; the inputs it finds go to a fresh
# scratch folder under WORK, never into the seeds, and are removed after. A
# finding fails the test and leaves the crashing input in FINDINGS.
# VESMAR_FUZZ_SECONDS in the environment sets another run time (fuzz/run.sh).
# libFuzzer's own output goes to WORK/<target>.log: a passing run prints its
# summary, a failing one the end of that log.
get_filename_component(target "${FUZZER}" NAME)
if(DEFINED ENV{VESMAR_FUZZ_SECONDS})
    set(SECONDS "$ENV{VESMAR_FUZZ_SECONDS}")
endif()
if(NOT SECONDS MATCHES "^[1-9][0-9]*$")
    message(FATAL_ERROR "run time '${SECONDS}' is not a whole number of seconds")
endif()

set(scratch "${WORK}/scratch/${target}")
set(log "${WORK}/${target}.log")
file(REMOVE_RECURSE "${scratch}")
file(MAKE_DIRECTORY "${scratch}" "${FINDINGS}")
message("${target}: ${SECONDS} s from ${SEEDS}")
execute_process(
    COMMAND "${FUZZER}" -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
        -print_final_stats=1 -artifact_prefix=${FINDINGS}/${target}-
        "${scratch}" "${SEEDS}"
    RESULT_VARIABLE status
    OUTPUT_FILE "${log}"
    ERROR_FILE "${log}")
file(REMOVE_RECURSE "${scratch}")

file(STRINGS "${log}" lines)
if(status EQUAL 0)
    foreach(line IN LISTS lines)
        if(line MATCHES "^(#[0-9]+ +DONE|stat::number_of_executed_units)")
            message("${line}")
        endif()
    endforeach()
else()
    list(LENGTH lines count)
    math(EXPR first "${count} - 60")
    if(first LESS 0)
        set(first 0)
    endif()
    list(SUBLIST lines ${first} -1 tail)
    list(JOIN tail "\n" tail)
    message("${tail}")
    message(FATAL_ERROR "${target}: finding (exit ${status}), see ${FINDINGS}/ and ${log}")
endif()
