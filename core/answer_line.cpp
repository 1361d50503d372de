#include "core/answer_line.h"

namespace kartiva {

bool ReadAnswerLine(std::FILE* in, std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(in)) != EOF && c != '\n') {
    if (line.size() == kLongestAnswerLine) {
      line.clear();
      return false;
    }
    line += static_cast<char>(c);
  }
  return c != EOF || !line.empty();
}

}  // namespace kartiva
