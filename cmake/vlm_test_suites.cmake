# Run as a script after a test program is linked (vlm_add_test_suites in VlmTargets.cmake):
# writes OUTPUT, a CTest file with one test per GoogleTest suite of PROGRAM, each running the
# suite's cases in one process, with TIMEOUT seconds for the whole suite.
#
#   cmake -D PROGRAM=... -D OUTPUT=... -D TIMEOUT=... -P vlm_test_suites.cmake

execute_process(COMMAND ${PROGRAM} --gtest_list_tests
                OUTPUT_FILE ${OUTPUT}.list
                RESULT_VARIABLE status
                TIMEOUT 60)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "listing the tests of ${PROGRAM} failed: ${status}")
endif()
# The suites are the lines that do not start with a space: "Suite." or "Prefix/Suite.", then
# perhaps "  # TypeParam = ...".
file(STRINGS ${OUTPUT}.list lines REGEX "^[^ ]")
file(REMOVE ${OUTPUT}.list)
set(text "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^([^ ]+)\\.")
    continue()
  endif()
  set(suite ${CMAKE_MATCH_1})
  string(APPEND text "add_test([==[${suite}]==] [==[${PROGRAM}]==] [==[--gtest_filter=${suite}.*]==])\n"
         "set_tests_properties([==[${suite}]==] PROPERTIES TIMEOUT ${TIMEOUT})\n")
endforeach()
file(WRITE ${OUTPUT} "${text}")
