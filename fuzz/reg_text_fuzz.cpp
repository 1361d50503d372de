// The registry file is text that people may edit by hand: any text at all is either refused with a
// reason or read into keys that write back out as text which reads back to the same keys.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "menorix/key_tree.h"
#include "menorix/reg_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  kartiva::KeyTree tree;
  std::string problem;
  if (!kartiva::ParseRegText(text, tree, problem)) {
    if (problem.empty()) __builtin_trap();  // a refusal always says why
    return 0;
  }
  const std::string written = kartiva::FormatRegText(tree);
  kartiva::KeyTree reread;
  if (!kartiva::ParseRegText(written, reread, problem)) __builtin_trap();
  if (kartiva::FormatRegText(reread) != written) __builtin_trap();
  return 0;
}
