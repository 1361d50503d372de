# Draws the programs' icons again into a scratch folder and compares them with the committed ones,
# so that a changed picture cannot ship with the Windows and the Linux icons telling two stories.
# Run with -DSOURCE=<source folder> -DSCRATCH=<scratch folder>.
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})
execute_process(COMMAND python3 ${SOURCE}/scripts/make_icons.py ${SCRATCH}
  RESULT_VARIABLE drawn)
if(NOT drawn EQUAL 0)
  message(FATAL_ERROR "make_icons.py failed: ${drawn}")
endif()
set(committed
  platform/win32/resources/mappix.ico platform/win32/resources/tresolo.ico
  platform/win32/resources/menorix.ico platform/qt/icons/menorix-16.png
  platform/qt/icons/menorix-32.png platform/qt/icons/menorix-48.png)
foreach(file ${committed})
  get_filename_component(name ${file} NAME)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SOURCE}/${file} ${SCRATCH}/${name}
    RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${file} is not what make_icons.py draws: run it and commit the result")
  endif()
endforeach()
