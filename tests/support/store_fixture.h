#pragma once

// A throw-away local store for the tests that run the built programs or the stand-in itself.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace kartiva::testing {

// Holds an archive's index in a write transaction, as another process writing to it would.
class IndexLock {
 public:
  explicit IndexLock(const std::filesystem::path& archive);
  ~IndexLock();
  IndexLock(const IndexLock&) = delete;
  IndexLock& operator=(const IndexLock&) = delete;
  bool locked() const { return locked_; }

 private:
  sqlite3* db_ = nullptr;
  bool locked_ = false;
};

class StoreTest : public ::testing::Test {
 protected:
  std::filesystem::path home() const { return temp_.path() / "home"; }
  std::filesystem::path basket() const { return home() / "baskets" / "Eingang"; }
  std::filesystem::path archive() const { return home() / "archives" / "Allgemein"; }

  // Creates the store with its basket "Eingang" and archive "Allgemein", both active.
  void Initialise() const;
  // Writes a source file below the test's folder and gives its path.
  std::filesystem::path Source(const std::string& name, const std::string& content) const;

  // A run of `program` on this store, with console boxes.
  ProcessSpec Spec(const std::string& program, std::vector<std::string> arguments,
                   std::string input = "") const;
  ProcessResult RunIn(const std::string& program, std::vector<std::string> arguments,
                      std::string input = "") const;
  // Starts `program` once per source file, all at once, as a file manager does for a selection,
  // each with `input`, and waits for every run. What they wrote leaves out the progress lines of
  // a batch that ran long, since how long depends on the machine.
  std::vector<ProcessResult> RunAtOnce(const std::string& program,
                                       const std::vector<std::filesystem::path>& sources,
                                       const std::string& input = "") const;
  // Starts `program` at once on fifty selected files, "selected/file <i><extension>" with the
  // content `content` makes for each i, expects every run to end cleanly and gives the contents.
  std::multiset<std::string> RunFiftyAtOnce(const std::string& program,
                                            const std::string& extension,
                                            const std::function<std::string(int)>& content) const;

  // The files of a folder, sorted; none when it does not exist.
  static std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder);
  std::vector<std::string> Journal() const;
  // The index rows of the active archive as
  // "document_name|index_string|mode|use_mask|delete_after|file".
  std::vector<std::string> IndexRows() const;

  // What the store holds, read as a user would check it after a crash: the bytes of every
  // basket document and every indexed archive file, and each fault found on the way (an archive
  // file without its row, a row without its file, a hidden file left over).
  struct Census {
    std::multiset<std::string> documents{};
    std::vector<std::string> faults{};
  };
  Census TakeCensus() const;

  TempFolder temp_;
};

}  // namespace kartiva::testing
