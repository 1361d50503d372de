#pragma once

// A throw-away local store for the tests that run the built programs or the stand-in itself.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/process.h"

namespace kartiva::testing {

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
  // each with `input`, and waits for every run.
  std::vector<ProcessResult> RunAtOnce(const std::string& program,
                                       const std::vector<std::filesystem::path>& sources,
                                       const std::string& input = "") const;

  // The files of a folder, sorted; none when it does not exist.
  static std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& folder);
  std::vector<std::string> Journal() const;
  // The index rows of the active archive as
  // "document_name|index_string|mode|use_mask|delete_after|file".
  std::vector<std::string> IndexRows() const;

  TempFolder temp_;
};

}  // namespace kartiva::testing
