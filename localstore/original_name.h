#pragma once

#include <string>

namespace kartiva::localstore {

// The file name a document came from travels with the document's file, from the basket into the
// archive, as an extended attribute. Where the file system keeps none, the name is not recorded.
void RecordOriginalName(int fd, const std::string& name);
// The recorded name, or `otherwise` when none is recorded.
std::string OriginalName(int fd, const std::string& otherwise);

}  // namespace kartiva::localstore
