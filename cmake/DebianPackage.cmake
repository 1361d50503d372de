# The .deb: the three programs with the Qt module beside them, their manual pages, the user's
# README, Menorix's launcher and icons, and the copyright and changelog files Debian asks for.

# Every file Debian wants compressed, compressed as it wants it: gzip -9n, no name or time stored,
# so that the same sources give the same package. The file is installed as <name>.gz, by default
# under the source's own name.
function(kartiva_install_gzipped source destination)
  get_filename_component(name ${source} NAME)
  if(ARGC GREATER 2)
    set(name ${ARGV2})
  endif()
  set(copy ${PROJECT_BINARY_DIR}/package/${destination}/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND gzip -9nf ${copy}
    DEPENDS ${source}
    VERBATIM)
  string(MAKE_C_IDENTIFIER ${destination}/${name} target)
  add_custom_target(gzip_${target} ALL DEPENDS ${copy}.gz)
  install(FILES ${copy}.gz DESTINATION ${destination})
endfunction()

set(doc_folder share/doc/${CPACK_PACKAGE_NAME})

# The Debian revision 1 of the release: the changelog's first entry must name this version.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(changelog ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
file(STRINGS ${changelog} changelog_head LIMIT_COUNT 1)
set(package_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
if(NOT changelog_head MATCHES "^${CPACK_PACKAGE_NAME} \\(${package_version}\\) ")
  message(FATAL_ERROR "${changelog}: its first entry is not version ${package_version}")
endif()

# The programs find the Qt module in their own folder, so both live in one folder and the commands
# in bin/ are links to them. That folder is the multiarch one: outside the folders the dynamic
# linker searches, where no ldconfig run is due when the package comes or goes (the module is only
# ever opened by its path).
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(program_folder lib/${CMAKE_LIBRARY_ARCHITECTURE}/${CPACK_PACKAGE_NAME})
else()
  set(program_folder lib/${CPACK_PACKAGE_NAME})
endif()
install(TARGETS ${kartiva_programs} RUNTIME DESTINATION ${program_folder})
install(TARGETS kartiva_qt LIBRARY DESTINATION ${program_folder})
foreach(program ${kartiva_programs})
  set(link ${PROJECT_BINARY_DIR}/bin-links/${program})
  file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/bin-links)
  file(CREATE_LINK ../${program_folder}/${program} ${link} SYMBOLIC)
  install(FILES ${link} DESTINATION bin)
  kartiva_install_gzipped(${PROJECT_SOURCE_DIR}/docs/man/${program}.1 share/man/man1)
endforeach()

# The README for users is README.md without its blocks for people who build from the source and
# without its part for Windows; at some 10 KB it is compressed, as Debian wants every document over
# 4 KB.
set(user_readme ${PROJECT_BINARY_DIR}/package/README.md)
add_custom_command(OUTPUT ${user_readme}
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR}/README.md -DOUTPUT=${user_readme}
    -P ${PROJECT_SOURCE_DIR}/cmake/UserReadme.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/cmake/UserReadme.cmake
  VERBATIM)
kartiva_install_gzipped(${user_readme} ${doc_folder})
install(FILES docs/menorix-window.png DESTINATION ${doc_folder}/docs)
install(FILES packaging/debian/copyright DESTINATION ${doc_folder})
# Debian names the changelog of a package's own revisions changelog.Debian.
kartiva_install_gzipped(${changelog} ${doc_folder} changelog.Debian)
# Each lintian tag that stays, with the reason why, in the one place where lintian looks for it.
install(FILES packaging/debian/lintian-overrides DESTINATION share/lintian/overrides
  RENAME ${CPACK_PACKAGE_NAME})

# Menorix in the desktop's application menu, with its icon in the hicolor theme.
install(FILES platform/linux/kartiva-menorix.desktop DESTINATION share/applications)
foreach(size 16 32 48)
  install(FILES platform/qt/icons/menorix-${size}.png
    DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME kartiva-menorix.png)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Kartiva Explorer tools <maintainers@kartiva-tools.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Mappix and Menorix load SQLite only when they first use an index (localstore/sqlite_library.cpp),
# which dpkg-shlibdeps cannot see; Tresolo links it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsqlite3-0 (>= 3.22)")
# Packed relocations (cmake/LinuxPrograms.cmake) need a C library that reads them, which
# dpkg-shlibdeps does not see either: its symbols name no version for them.
if(KARTIVA_LINKER_PACKS_RELOCATIONS)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libc6 (>= 2.36)")
endif()
