#pragma once

#include <filesystem>
#include <memory>

#include "core/toolkit.h"

namespace kartiva::localstore {

// A toolkit session on the local store at `root`. Opening it touches nothing on disk.
std::shared_ptr<ToolkitSession> OpenSession(std::filesystem::path root);

}  // namespace kartiva::localstore
