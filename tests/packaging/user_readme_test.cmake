# The README the package ships: each case is a README, what the package's README must then be, or
# FAIL where the cut must stop the build; SEMICOLON stands for a semicolon, which a list cannot
# hold. Run as: cmake -DSCRIPT=<UserReadme.cmake> -DWORK=<dir> -P user_readme_test.cmake
cmake_minimum_required(VERSION 3.25)
set(open "<!-- source -->\n")
set(close "<!-- /source -->\n")
set(windows "<!-- windows -->\n")
set(windows_end "<!-- /windows -->\n")
set(cases
  "no block"                 "a\nb\n"                                "a\nb\n"
  "one block"                "a\n${open}scripts/demo.sh\n${close}b\n" "a\nb\n"
  "two blocks, text between" "${open}x\n${close}a\n${open}y\n${close}" "a\n"
  "a semicolon kept"         "aSEMICOLONb\n${open}c\n${close}"      "aSEMICOLONb\n"
  "a block at the very end"  "a\n${open}b\n${close}"                 "a\n"
  "a block never closed"     "a\n${open}scripts/\n"                  "FAIL"
  "a close before its open"  "${close}a\n${open}"                    "FAIL"
  "a marker inside a line"   "see <!-- source -->\nb\n"              "see <!-- source -->\nb\n"
  "the part for Windows"     "a\n${windows}## Windows\n${windows_end}${open}c\n${close}b\n" "a\nb\n"
  "Windows never closed"     "a\n${windows}b\n"                    "FAIL")
string(ASCII 59 semicolon)
list(LENGTH cases length)
math(EXPR last "${length} - 1")
foreach(at RANGE 0 ${last} 3)
  math(EXPR readme_at "${at} + 1")
  math(EXPR expected_at "${at} + 2")
  list(GET cases ${at} name)
  list(GET cases ${readme_at} readme)
  list(GET cases ${expected_at} expected)
  string(REPLACE SEMICOLON "${semicolon}" readme "${readme}")
  string(REPLACE SEMICOLON "${semicolon}" expected "${expected}")
  file(WRITE ${WORK}/README.md "${readme}")
  file(REMOVE ${WORK}/user.md)
  execute_process(COMMAND ${CMAKE_COMMAND} -DSOURCE=${WORK}/README.md -DOUTPUT=${WORK}/user.md
    -P ${SCRIPT} RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
  if(expected STREQUAL "FAIL")
    if(result EQUAL 0)
      message(SEND_ERROR "${name}: the cut passed")
    endif()
  elseif(NOT result EQUAL 0)
    message(SEND_ERROR "${name}: the cut failed")
  else()
    file(READ ${WORK}/user.md actual)
    if(NOT actual STREQUAL expected)
      message(SEND_ERROR "${name}: got [${actual}], expected [${expected}]")
    endif()
  endif()
endforeach()
