# Writes the README that the package ships: README.md without its blocks for people who build
# from the source, each between a line "<!-- source -->" and a line "<!-- /source -->".
# cmake -DSOURCE=README.md -DOUTPUT=<file> -P UserReadme.cmake
cmake_minimum_required(VERSION 3.25)
# A marker counts only as a whole line: the text searched always starts with the newline that ends
# the line before it.
set(open_marker "\n<!-- source -->\n")
set(close_marker "\n<!-- /source -->\n")
string(LENGTH "${close_marker}" close_length)
file(READ "${SOURCE}" text)
set(rest "\n${text}")
set(user_text "")
while(TRUE)
  string(FIND "${rest}" "${open_marker}" open_at)
  string(FIND "${rest}" "${close_marker}" close_at)
  if(open_at EQUAL -1 AND close_at EQUAL -1)
    break()
  endif()
  if(open_at EQUAL -1 OR close_at LESS open_at)
    message(FATAL_ERROR "${SOURCE}: a source block that is not opened and closed in turn")
  endif()
  string(SUBSTRING "${rest}" 1 ${open_at} kept)
  string(APPEND user_text "${kept}")
  math(EXPR after "${close_at} + ${close_length} - 1")
  string(SUBSTRING "${rest}" ${after} -1 rest)
endwhile()
string(SUBSTRING "${rest}" 1 -1 kept)
string(APPEND user_text "${kept}")
file(WRITE "${OUTPUT}" "${user_text}")
