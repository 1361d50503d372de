#pragma once

// Settings from the environment.

namespace kartiva::linux_os {

// The variable's value, or nullptr when it is not set or empty: an empty setting counts as none.
const char* NonEmptyVariable(const char* name);

}  // namespace kartiva::linux_os
