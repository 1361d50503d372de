#pragma once

#include <filesystem>
#include <string>

#include "core/error.h"
#include "localstore/files.h"

namespace kartiva::localstore {

// A file being written in a folder. It has no name until it is published, so that a crash or a
// failed write leaves nothing behind; where the file system cannot make a file without a name, it
// lies under a hidden ".incoming-" name, locked while its writer lives, removed on failure.
class NewFile {
 public:
  NewFile() = default;
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;
  ~NewFile();

  [[nodiscard]] ErrorCode Create(const std::string& folder);
  int fd() const { return fd_.get(); }
  // Flushes the file to disk, its data and its attributes (the original name): before a name that
  // must survive a power cut is given to it.
  [[nodiscard]] ErrorCode Flush();
  // Gives the file the name `target` (another name of it: it stays open). Hands back the errno,
  // EEXIST when the name is taken, or 0.
  int Publish(const std::filesystem::path& target);
  // Gives the file a document name in `folder` that survives a power cut: the data flushed before
  // the name is given, so that no cut shows the name over zeros, and the folder after it. The
  // name is `document` where that is given and free, else the next number that nothing bears (a
  // name taken in any way is never replaced); `document` holds the name given. kNotConfirmed
  // when the file has its name but the disk did not confirm it.
  [[nodiscard]] ErrorCode PublishAsDocument(const std::filesystem::path& folder,
                                            std::filesystem::path& document);
  // The same but for the folder's flush, which is left to the caller: a batch flushes the folder
  // once for all its names.
  [[nodiscard]] ErrorCode NameAsDocument(const std::filesystem::path& folder,
                                         std::filesystem::path& document);

 private:
  UniqueFd fd_;
  std::string temporary_;  // the hidden name, where the file has one
};

}  // namespace kartiva::localstore
