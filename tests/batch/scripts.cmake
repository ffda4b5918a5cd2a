# End-to-end stories: orvane-batch scripts on the sample pictures, each in a
# fresh working folder (see run_script.cmake for the checks); FILES names
# further files copied in beside them (absolute paths, or names in scripts/).
function(orvane_batch_script name)
  cmake_parse_arguments(arg "" "STATUS;OUTPUT;DXF" "SAME;DIFFERENT;ABSENT;FILES" ${ARGN})
  if(NOT DEFINED arg_STATUS)
    set(arg_STATUS 0)
  endif()
  set(here ${CMAKE_CURRENT_SOURCE_DIR}/batch)
  set(defines -DBATCH=$<TARGET_FILE:orvane-batch> -DSCRIPT=${here}/scripts/${name}.txt
      -DWORK=${CMAKE_CURRENT_BINARY_DIR}/batch_scripts/${name}
      -DSAMPLES=${CMAKE_SOURCE_DIR}/samples -DSTATUS=${arg_STATUS})
  foreach(key OUTPUT DXF)
    if(arg_${key})
      list(APPEND defines -D${key}=${here}/scripts/${arg_${key}})
    endif()
  endforeach()
  foreach(key SAME DIFFERENT ABSENT FILES)
    if(arg_${key})
      string(REPLACE ";" "," value "${arg_${key}}")
      list(APPEND defines "-D${key}=${value}")
    endif()
  endforeach()
  add_test(NAME BatchScript.${name} COMMAND ${CMAKE_COMMAND} ${defines} -P ${here}/run_script.cmake)
endfunction()

orvane_batch_script(auto_calibration)
orvane_batch_script(manual_calibration)
orvane_batch_script(two_points OUTPUT two_points.out)
orvane_batch_script(three_points OUTPUT three_points.out)
orvane_batch_script(dxf_auto DXF dxf_auto.dxf)
orvane_batch_script(dxf_simple DXF dxf_simple.dxf)
orvane_batch_script(dxf_trace DXF dxf_trace.dxf)
orvane_batch_script(save SAME "Saved/IMAGE0.BMP|PART.BMP" "Saved/IMAGE1.BMP|SHOWN.BMP"
                    DIFFERENT "Saved/IMAGE1.BMP|PART.BMP")
orvane_batch_script(reset_rois OUTPUT reset_rois.out)
orvane_batch_script(checks STATUS 1 OUTPUT checks.out)
orvane_batch_script(malformed STATUS 2 OUTPUT malformed.out ABSENT XORVANE.CFG)
orvane_batch_script(results OUTPUT results.out)
orvane_batch_script(results_files STATUS 1 OUTPUT results_files.out)
orvane_batch_script(snap OUTPUT snap.out)
orvane_batch_script(zoom OUTPUT zoom.out)
orvane_batch_script(results_stats OUTPUT results_stats.out)
orvane_batch_script(dxf_units STATUS 1 OUTPUT dxf_units.out DXF dxf_units.dxf
                    SAME "DXF/FILE.DXF|copy.dxf" "Saved/IMAGE0-annotated.BMP|mine.bmp"
                    DIFFERENT "Saved/IMAGE0.BMP|mine.bmp")
orvane_batch_script(negative_distance OUTPUT negative_distance.out)
orvane_batch_script(undo OUTPUT undo.out)
orvane_batch_script(tools OUTPUT tools.out)
orvane_batch_script(part STATUS 1 OUTPUT part.out FILES ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/part_story/PART-TURNED.BMP)
orvane_batch_script(program OUTPUT program.out FILES ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/part_story/PART-TURNED.BMP)
orvane_batch_script(program_absent STATUS 1 OUTPUT program_absent.out)

# Grid calibration through the virtual lens, Auto Calibration on the rectified
# picture, and a bar measured in the corner of the field.
set(here ${CMAKE_CURRENT_SOURCE_DIR}/batch/scripts)
add_test(NAME BatchScript.rectify_story
         COMMAND ${CMAKE_COMMAND} -DBATCH=$<TARGET_FILE:orvane-batch>
                 -DWORK=${CMAKE_CURRENT_BINARY_DIR}/batch_scripts/rectify_story
                 "-DSCRIPTS=${here}/rectify_grid.txt,${here}/rectify_calibrate.txt,${here}/rectify_corner.txt"
                 -DSCENES=grid,scene,bars "-DLENS=k1=-0.2,tilt=10" -DFORMATS=1280x720:YUY2
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/batch/run_story.cmake)
orvane_batch_script(precise STATUS 1 OUTPUT precise.out)
orvane_batch_script(cad STATUS 1 OUTPUT cad.out FILES cad_part.dxf cad_damaged.dxf)
orvane_batch_script(program_profile STATUS 1 OUTPUT program_profile.out
                    FILES cad_part.dxf ${CMAKE_CURRENT_SOURCE_DIR}/fixtures/part_story/PART-TURNED.BMP)
orvane_batch_script(gauge_study STATUS 1 OUTPUT gauge_study.out)
orvane_batch_script(part_report STATUS 1 OUTPUT part_report.out)
