# The packages: on Linux a .deb of the three programs with the Qt module beside them, for Windows a
# .zip of the three self-contained exes. `cpack` in the build folder makes the platform's one.
set(CPACK_PACKAGE_NAME kartiva-explorer-tools)
set(CPACK_PACKAGE_VENDOR "Kartiva Explorer tools")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Bring files from the file manager into the Kartiva document server")
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
  # The programs find the Qt module in their own folder, so both live in one folder and the
  # commands in bin/ are links to them.
  set(program_folder lib/${CPACK_PACKAGE_NAME})
  install(TARGETS ${kartiva_programs} RUNTIME DESTINATION ${program_folder})
  install(TARGETS kartiva_qt LIBRARY DESTINATION ${program_folder})
  foreach(program ${kartiva_programs})
    set(link ${PROJECT_BINARY_DIR}/bin-links/${program})
    file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/bin-links)
    file(CREATE_LINK ../${program_folder}/${program} ${link} SYMBOLIC)
    install(FILES ${link} DESTINATION bin)
  endforeach()
  install(FILES README.md docs/menorix-window.png DESTINATION share/doc/${CPACK_PACKAGE_NAME})
  # Menorix in the desktop's application menu, with its icon in the hicolor theme.
  install(FILES platform/posix/kartiva-menorix.desktop DESTINATION share/applications)
  foreach(size 16 32 48)
    install(FILES platform/qt/icons/menorix-${size}.png
      DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME kartiva-menorix.png)
  endforeach()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kartiva Explorer tools <maintainers@kartiva-tools.example>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
