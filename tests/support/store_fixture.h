#pragma once

// A throw-away local store for the tests that run the built programs or the stand-in itself.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace kartiva::testing {

// Holds an archive's index in a write transaction, as another process writing to it would; with
// `blockReaders`, in an exclusive one that no other process can even read through.
class IndexLock {
 public:
  explicit IndexLock(const std::filesystem::path& archive, bool blockReaders = false);
  ~IndexLock();
  IndexLock(const IndexLock&) = delete;
  IndexLock& operator=(const IndexLock&) = delete;
  bool locked() const { return locked_; }

 private:
  sqlite3* db_ = nullptr;
  bool locked_ = false;
};

// Makes a folder unwritable, also for root (which chmod does not stop), until destroyed.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(std::filesystem::path folder);
  ~ReadOnlyFolder();
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
  bool active() const { return active_; }

 private:
  bool SetImmutable(bool on) const;
  std::filesystem::path folder_;
  bool active_ = false;
};

// A file system of another kind mounted on a folder of the test's own until destroyed, to run the
// store where users keep it: "bindfs", a FUSE mount of a plain folder, has hard links but neither
// RENAME_NOREPLACE nor O_TMPFILE, as NFS and most FUSE file systems; "exfat", an exFAT image
// through FUSE, has no hard links either. Both need root and /dev/fuse.
class StoreMount {
 public:
  StoreMount(const std::string& kind, const std::filesystem::path& scratch);
  ~StoreMount();
  StoreMount(const StoreMount&) = delete;
  StoreMount& operator=(const StoreMount&) = delete;
  const std::filesystem::path& folder() const { return folder_; }
  // Empty once mounted; else why it is not.
  const std::string& failure() const { return failure_; }

 private:
  // Runs a program found on the PATH; empty when it succeeded, else what it wrote.
  std::string Run(std::vector<std::string> command, std::string* output = nullptr) const;
  void Mount(const std::string& kind);

  std::filesystem::path scratch_;
  std::filesystem::path folder_;
  std::string device_{};  // the loop device of an image
  std::string failure_{};
};

// A test on a local store below a folder of its own. With KARTIVA_TEST_MOUNT naming a kind of
// StoreMount, as the second run of the store's tests sets it, the store lies on such a mount, and
// the test is skipped, saying why, where it cannot be made.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override;
  std::filesystem::path home() const { return storeParent_ / "home"; }
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

  // The counters of the store's numbers, as a copy to roll them back to.
  std::filesystem::path SaveCounters(const std::string& name) const;
  // Puts back the counters saved as `saved`, as a lost counter update after a power cut would;
  // with no saved copy, makes every counter garbage.
  void SpoilCounters(const std::filesystem::path& saved = {}) const;

  // The regular files of a folder (not links to them), sorted; none when it does not exist.
  static std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder);
  std::vector<std::string> Journal() const;
  // The index rows of the active archive as
  // "document_name|index_string|mode|use_mask|delete_after|file", or as `columns` say.
  std::vector<std::string> IndexRows(
      const std::string& columns =
          "document_name||'|'||index_string||'|'||mode||'|'||use_mask"
          "||'|'||delete_after||'|'||file") const;

  // What the store holds, read as a user would check it after a crash: the bytes of every
  // basket document and every indexed archive file, and each fault found on the way (an archive
  // file without its row, a row without its file, a hidden file or work in flight left over, a
  // basket document and an archive file that are one file).
  struct Census {
    std::multiset<std::string> documents{};
    std::vector<std::string> faults{};
  };
  Census TakeCensus() const;

  TempFolder temp_;
  std::optional<StoreMount> mount_{};
  std::filesystem::path storeParent_ = temp_.path();
};

}  // namespace kartiva::testing
