cmake_minimum_required(VERSION 3.25)
# Runs a program with the stand-in vision library preloaded in an empty
# folder: it must end by itself with exit code 0 and leave the folder empty.
#   PROGRAM, ARGS (";"-separated), WORK, LIBRARY
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(ENV{LD_PRELOAD} ${LIBRARY})
# A sanitized build checks that its runtime comes first; the preload does.
set(ENV{ASAN_OPTIONS} "verify_asan_link_order=0:$ENV{ASAN_OPTIONS}")
execute_process(COMMAND ${PROGRAM} ${ARGS} WORKING_DIRECTORY ${WORK} TIMEOUT 30
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "exit status ${status}, expected 0")
endif()
file(GLOB_RECURSE left LIST_DIRECTORIES true ${WORK}/*)
if(left)
  message(FATAL_ERROR "the program wrote ${left}")
endif()
