# Runs one fuzzer for a bounded time from the committed seeds; fails on any finding.
#   cmake -DFUZZER=<binary> -DSEEDS=<seed folder> -DWORK=<scratch folder> -DSECONDS=<n> -P run_fuzzer.cmake
foreach(var FUZZER SEEDS WORK SECONDS)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_fuzzer.cmake: ${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${FUZZER}")
  message(FATAL_ERROR "${FUZZER} is not built: build the fuzz preset first "
                      "(cmake --preset fuzz && cmake --build --preset fuzz)")
endif()

# A fresh corpus each run, so a run starts from the seeds alone and stays comparable.
file(REMOVE_RECURSE "${WORK}/corpus")
file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/artifacts")
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
          "-artifact_prefix=${WORK}/artifacts/" "${WORK}/corpus" "${SEEDS}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(GLOB found "${WORK}/artifacts/*")
  message(FATAL_ERROR "${FUZZER} found a fault (exit ${result}); reproduce with: ${FUZZER} ${found}")
endif()
