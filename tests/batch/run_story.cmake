cmake_minimum_required(VERSION 3.25)
# Runs orvane-batch scripts one after another in one fresh working folder,
# each on the virtual camera with its own scene, all through one lens.
#   BATCH, WORK, SCRIPTS, SCENES   the program, the folder, the scripts and
#                                  their scenes (comma-separated, in step)
#   LENS, FORMATS                  ORVANE_VIRTUAL_LENS, ORVANE_VIRTUAL_FORMATS
string(REPLACE "," ";" SCRIPTS "${SCRIPTS}")
string(REPLACE "," ";" SCENES "${SCENES}")
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(ENV{ORVANE_VIRTUAL_LENS} "${LENS}")
set(ENV{ORVANE_VIRTUAL_FORMATS} "${FORMATS}")
foreach(script scene IN ZIP_LISTS SCRIPTS SCENES)
  set(ENV{ORVANE_VIRTUAL_CAMERA} "${scene}")
  execute_process(COMMAND ${BATCH} -C ${WORK} --fixed-clock ${script}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  message("${script} on ${scene}:\n${out}${err}")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${script}: exit status ${status}")
  endif()
endforeach()
