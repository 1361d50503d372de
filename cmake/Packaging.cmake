# The packages: on Linux a .deb of the three programs with the Qt module beside them, for Windows a
# .zip of the three self-contained exes. `cpack` in the build folder makes the platform's one.
set(CPACK_PACKAGE_NAME kartiva-explorer-tools)
set(CPACK_PACKAGE_VENDOR "Kartiva Explorer tools")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Bring files from the file manager into the Kartiva document server")
set(CPACK_PACKAGE_DESCRIPTION [[
Three small programs hand a file from the file manager's context menu to the
Kartiva document server: Mappix imports it into the user's active basket,
Tresolo stores it in the active archive, and Menorix adds or removes the two
menu entries for GNOME Files, Caja, Nemo, Dolphin, Thunar, PCManFM and
PCManFM-Qt, per user.
On Linux the documents go to a local store that stands in for the server, in
the user's data folder: numbered, with an index of the stored ones.]])
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(kartiva_programs Mappix Tresolo Menorix)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  install(TARGETS ${kartiva_programs} RUNTIME DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-windows-x64)
  # The Windows Installer package for administrators, made with wixl where it is installed, from
  # the programs stripped as in the .zip. wixl resolves the programs' paths relative to where it
  # runs, hence the build folder.
  find_program(KARTIVA_WIXL wixl)
  if(KARTIVA_WIXL)
    set(KARTIVA_MSI_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-x64.msi)
    set(descriptor ${PROJECT_SOURCE_DIR}/cmake/kartiva-explorer-tools.wxs)
    set(strip_commands)
    foreach(program ${kartiva_programs})
      list(APPEND strip_commands COMMAND ${CMAKE_STRIP} -o msi-programs/${program}.exe
        $<TARGET_FILE:${program}>)
    endforeach()
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/${KARTIVA_MSI_NAME}
      COMMAND ${CMAKE_COMMAND} -E make_directory msi-programs
      ${strip_commands}
      COMMAND ${KARTIVA_WIXL} --arch x64 -D Version=${PROJECT_VERSION} -D BinDir=msi-programs
        -o ${KARTIVA_MSI_NAME} ${descriptor}
      WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
      DEPENDS ${kartiva_programs} ${descriptor}
      COMMENT "Building ${KARTIVA_MSI_NAME}"
      VERBATIM)
    add_custom_target(msi ALL DEPENDS ${PROJECT_BINARY_DIR}/${KARTIVA_MSI_NAME})
    set_target_properties(msi PROPERTIES KARTIVA_MSI_FILE ${PROJECT_BINARY_DIR}/${KARTIVA_MSI_NAME})
  endif()
else()
  include(cmake/DebianPackage.cmake)
endif()
include(CPack)
