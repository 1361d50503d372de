#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace kartiva {

// The longest answer line read from a terminal. Nobody types a longer one: longer input is
// refused before it can use up the memory.
inline constexpr std::size_t kLongestAnswerLine = 4096;

// Reads one line (without its end) from `in`. False at the end of input before any character,
// and for a line longer than kLongestAnswerLine, of which no more is read.
bool ReadAnswerLine(std::FILE* in, std::string& line);

}  // namespace kartiva
