#include "linux_base/environment.h"

#include <cstdlib>

namespace kartiva::linux_os {

const char* NonEmptyVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

}  // namespace kartiva::linux_os
