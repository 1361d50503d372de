#include "posix_base/environment.h"

#include <cstdlib>

namespace kartiva::posix {

const char* NonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace kartiva::posix
