# Writes the README that the Linux package ships: README.md without its blocks for people who build
# from the source, each between a line "<!-- source -->" and a line "<!-- /source -->", and without
# its part for Windows users, between a line "<!-- windows -->" and a line "<!-- /windows -->".
# cmake -DSOURCE=README.md -DOUTPUT=<file> -P UserReadme.cmake
cmake_minimum_required(VERSION 3.25)

# Removes from `text` (which starts with a newline) every block between the marker lines of `kind`.
function(cut_blocks kind text_variable)
  # A marker counts only as a whole line: the text searched always starts with the newline that
  # ends the line before it.
  set(open_marker "\n<!-- ${kind} -->\n")
  set(close_marker "\n<!-- /${kind} -->\n")
  string(LENGTH "${close_marker}" close_length)
  set(rest "${${text_variable}}")
  set(kept_text "")
  while(TRUE)
    string(FIND "${rest}" "${open_marker}" open_at)
    string(FIND "${rest}" "${close_marker}" close_at)
    if(open_at EQUAL -1 AND close_at EQUAL -1)
      break()
    endif()
    if(open_at EQUAL -1 OR close_at LESS open_at)
      message(FATAL_ERROR "${SOURCE}: a ${kind} block that is not opened and closed in turn")
    endif()
    string(SUBSTRING "${rest}" 0 ${open_at} kept)
    string(APPEND kept_text "${kept}")
    math(EXPR after "${close_at} + ${close_length} - 1")
    string(SUBSTRING "${rest}" ${after} -1 rest)
  endwhile()
  string(APPEND kept_text "${rest}")
  set(${text_variable} "${kept_text}" PARENT_SCOPE)
endfunction()

file(READ "${SOURCE}" text)
set(text "\n${text}")
cut_blocks(source text)
cut_blocks(windows text)
string(SUBSTRING "${text}" 1 -1 text)
file(WRITE "${OUTPUT}" "${text}")
