#pragma once

#include "core/error.h"

namespace kartiva::localstore {

// Copies the whole content of the open file `source` into the empty file `target`, inside the
// kernel where it can (copy_file_range; read and write where it cannot), and keeps the source's
// holes as holes. A full disk or a file over the size limit gives kStoreFull.
[[nodiscard]] ErrorCode CopyFileData(int source, int target);

}  // namespace kartiva::localstore
