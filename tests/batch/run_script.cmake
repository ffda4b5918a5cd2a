cmake_minimum_required(VERSION 3.25)
# Runs one orvane-batch script in a fresh working folder holding the sample
# pictures, and checks what it left behind.
#   BATCH, SCRIPT, WORK, SAMPLES   the program, the script, the folder, samples/
#   STATUS                         the exit status the script must give
#   OUTPUT                         optional: the whole standard output, exactly
#   DXF                            optional: an expectation for check_dxf.py on
#                                  WORK/DXF/FILE.DXF (skipped without ezdxf)
#   SAME, DIFFERENT                optional: "a|b" pairs of files (in WORK),
#                                  comma-separated, whose bytes must be equal,
#                                  or must differ
#   ABSENT                         optional: files that must not exist
#   FILES                          optional: more files copied into WORK first
foreach(key SAME DIFFERENT ABSENT FILES)
  string(REPLACE "," ";" ${key} "${${key}}")
endforeach()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(GLOB pictures ${SAMPLES}/*.BMP ${SAMPLES}/*.JPG)
file(COPY ${pictures} ${FILES} DESTINATION ${WORK})

execute_process(COMMAND ${BATCH} -C ${WORK} --fixed-clock ${SCRIPT}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT status EQUAL STATUS)
  message(FATAL_ERROR "exit status ${status}, expected ${STATUS}")
endif()
if(OUTPUT)
  file(READ ${OUTPUT} expected)
  if(NOT out STREQUAL expected)
    file(WRITE ${WORK}/actual.out "${out}")
    message(FATAL_ERROR "the output differs from ${OUTPUT} (see ${WORK}/actual.out)")
  endif()
endif()
foreach(pair ${SAME} ${DIFFERENT})
  string(REPLACE "|" ";" files ${pair})
  list(GET files 0 a)
  list(GET files 1 b)
  file(SHA256 ${WORK}/${a} ha)
  file(SHA256 ${WORK}/${b} hb)
  if(pair IN_LIST SAME AND NOT ha STREQUAL hb)
    message(FATAL_ERROR "${a} and ${b} differ")
  elseif(pair IN_LIST DIFFERENT AND ha STREQUAL hb)
    message(FATAL_ERROR "${a} and ${b} are the same")
  endif()
endforeach()
foreach(name ${ABSENT})
  if(EXISTS ${WORK}/${name})
    message(FATAL_ERROR "${name} should not exist")
  endif()
endforeach()
if(DXF)
  execute_process(COMMAND /usr/bin/python3 -c "import ezdxf" RESULT_VARIABLE no_ezdxf
                  OUTPUT_QUIET ERROR_QUIET)
  if(no_ezdxf)
    message("ezdxf is not installed: the DXF file is not read back")
  else()
    get_filename_component(here ${CMAKE_CURRENT_LIST_FILE} DIRECTORY)
    execute_process(COMMAND /usr/bin/python3 ${here}/check_dxf.py ${WORK}/DXF/FILE.DXF ${DXF}
                    RESULT_VARIABLE bad OUTPUT_VARIABLE dxf_out ERROR_VARIABLE dxf_out)
    message("${dxf_out}")
    if(bad)
      message(FATAL_ERROR "the DXF file does not hold what ${DXF} says")
    endif()
  endif()
endif()
