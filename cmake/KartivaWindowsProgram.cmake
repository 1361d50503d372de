# Makes a program target a Windows GUI program with its resources: the version resource, the
# application manifest (per-monitor DPI aware, common controls 6) and its 16 x 16 icon
# platform/win32/resources/<name in lower case>.ico. The version is the release's (project()).
#
#   kartiva_windows_program(Mappix DESCRIPTION "Kartiva import tool")
function(kartiva_windows_program target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DESCRIPTION" "")
  set(resources ${PROJECT_SOURCE_DIR}/platform/win32/resources)
  string(TOLOWER ${target} lower)
  set(KARTIVA_RC_NAME ${target})
  set(KARTIVA_RC_VERSION ${PROJECT_VERSION}.0)
  string(REPLACE "." "," KARTIVA_RC_VERSION_COMMAS ${KARTIVA_RC_VERSION})
  set(KARTIVA_RC_DESCRIPTION ${arg_DESCRIPTION})
  set(KARTIVA_RC_ICON ${resources}/${lower}.ico)
  set(KARTIVA_RC_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${resources}/app.manifest.in ${KARTIVA_RC_MANIFEST} @ONLY)
  configure_file(${resources}/program.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  set_property(SOURCE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc APPEND PROPERTY
    OBJECT_DEPENDS ${KARTIVA_RC_ICON} ${KARTIVA_RC_MANIFEST})
  set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
  if(MSVC)
    # The manifest comes with the resources; main stays the entry of a GUI program.
    target_link_options(${target} PRIVATE /MANIFEST:NO /ENTRY:mainCRTStartup)
  endif()
endfunction()
