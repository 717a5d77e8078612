# Zips the skin folder's layouts and images into OUTPUT, reproducibly: the
# entries are sorted, named relative to the skin folder ("Form_Main.xml",
# "default/button/x.png"), carry one fixed time (in UTC, as the zip's DOS
# time fields would otherwise follow the local time zone) and one file mode,
# so the same sources give the same bytes.
#
#   cmake -DSKIN_DIR=<skin folder> -DOUTPUT=<zip> -P ZipSkin.cmake
if(NOT SKIN_DIR OR NOT OUTPUT)
  message(FATAL_ERROR "ZipSkin.cmake needs SKIN_DIR and OUTPUT")
endif()
file(GLOB_RECURSE entries RELATIVE ${SKIN_DIR} ${SKIN_DIR}/*.xml ${SKIN_DIR}/*.png)
list(FILTER entries EXCLUDE REGEX "^tools/")
list(SORT entries)
if(NOT entries)
  message(FATAL_ERROR "no layouts or images in ${SKIN_DIR}")
endif()

# A copy with fixed permissions: a checkout's modes follow the user's umask.
set(stage ${OUTPUT}.stage)
file(REMOVE_RECURSE ${stage})
foreach(entry ${entries})
  get_filename_component(folder ${entry} DIRECTORY)
  file(COPY ${SKIN_DIR}/${entry} DESTINATION ${stage}/${folder}
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()

# Written beside the target and renamed, so a failed run never leaves a
# half-written archive that the next build would take for a finished one.
set(partial ${OUTPUT}.partial)
file(REMOVE ${partial})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
          ${CMAKE_COMMAND} -E tar cf ${partial} --format=zip "--mtime=2020-01-01 00:00:00 UTC" -- ${entries}
  WORKING_DIRECTORY ${stage}
  RESULT_VARIABLE result)
file(REMOVE_RECURSE ${stage})
if(NOT result EQUAL 0)
  file(REMOVE ${partial})
  message(FATAL_ERROR "zipping the skin failed: ${result}")
endif()
file(RENAME ${partial} ${OUTPUT})
