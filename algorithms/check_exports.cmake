# Fails unless the library defines exactly the expected dynamic symbols.
execute_process(COMMAND ${NM} -D --defined-only ${LIB} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${out}")
set(found)
foreach(line ${lines})
  string(REGEX REPLACE "^.* ([^ ]+)$" "\\1" name "${line}")
  list(APPEND found ${name})
endforeach()
list(SORT found)
# EXPECTED names another library's exports (a ;-list); the vision library's
# 15 are the default.
if(DEFINED EXPECTED)
  set(expected ${EXPECTED})
else()
  set(expected qlxBinarize qlxCalculateAngle qlxEvenIntensity qlxFindBlobs qlxFindBlobsMap
      qlxNormalize qlxProjX qlxProjY qlxSearchHorizontal qlxSearchVertical qlxSetUp
      qlxSobel3 qlxSortBlobList qlxStandardCalibration qlxVersion)
endif()
list(LENGTH expected count)
list(SORT expected)
if(NOT "${found}" STREQUAL "${expected}")
  message(FATAL_ERROR "Exported symbols differ.\n  found:    ${found}\n  expected: ${expected}")
endif()
message(STATUS "${count} exports, nothing else")
