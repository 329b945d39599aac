# Run after each window test program is built: asks it for its test
# functions and writes one ctest entry per function, so that
# `ctest -R functionName` runs that function alone.
# Inputs: PROGRAM, NAME, OUTPUT, STATE (a folder under which each test gets its
# own state folder, so recovery packages of tests running side by side never meet),
# TIMEOUT (seconds each test may run).
execute_process(COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp
                        ${PROGRAM} -functions
                OUTPUT_VARIABLE listing RESULT_VARIABLE status ERROR_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} -functions failed: ${status}")
endif()
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*\\(\\)" functions "${listing}")
set(script "")
foreach(fn ${functions})
  string(REPLACE "()" "" fn "${fn}")
  string(APPEND script
    "add_test([=[${NAME}.${fn}]=] [=[${PROGRAM}]=] [=[${fn}]=])\n"
    "set_tests_properties([=[${NAME}.${fn}]=] PROPERTIES ENVIRONMENT "
    "[=[QT_QPA_PLATFORM=offscreen;XDG_RUNTIME_DIR=/tmp;XDG_STATE_HOME=${STATE}/${NAME}.${fn}]=] TIMEOUT ${TIMEOUT})\n")
endforeach()
file(WRITE "${OUTPUT}" "${script}")
