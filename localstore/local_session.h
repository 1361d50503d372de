#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/toolkit.h"

namespace kartiva::localstore {

// The basket folders that a batch's imports gave names to and have not flushed since, with the
// files imported into each: each folder is flushed once, when the batch confirms them all.
class HeldNames {
 public:
  void Hold(const std::filesystem::path& folder, const std::string& file);
  // Flushes each folder once (tried twice); gives the files of the folders the disk did not
  // confirm, and holds nothing after.
  [[nodiscard]] std::vector<std::string> Confirm();

 private:
  std::map<std::filesystem::path, std::vector<std::string>> files_;
};

// A toolkit session on the local store at `root`. Opening it touches nothing on disk. With
// `held`, its imports leave the flush of the basket folder to `held`.
std::shared_ptr<ToolkitSession> OpenSession(std::filesystem::path root,
                                            std::shared_ptr<HeldNames> held = nullptr);

}  // namespace kartiva::localstore
