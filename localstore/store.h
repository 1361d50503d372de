#pragma once

// The local stand-in's store on disk:
//   <root>/kartiva.ini          ActiveBasket= and ActiveArchive=; its presence means "client runs"
//   <root>/baskets/<name>/      basket documents NNNNNNNN.001
//   <root>/archives/<name>/     stored documents and index.sqlite
//   <folder>/.inflight/         each basket's and archive's work on its way (in_flight.h)
//   <root>/.numbers/            the highest number each folder handed out (numbering.h)
//   <root>/journal.log          one line per toolkit operation

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/error.h"
#include "localstore/files.h"

namespace kartiva::localstore {

inline constexpr std::string_view kDefaultBasket = "Eingang";
inline constexpr std::string_view kDefaultArchive = "Allgemein";
// A kartiva.ini larger than this is not read: the store counts as not initialised.
inline constexpr std::size_t kLargestIni = std::size_t{64} * 1024;

// KARTIVA_HOME, else kartiva in the user's data folder (XDG_DATA_HOME, else ~/.local/share).
std::filesystem::path DefaultRoot();

// A basket or archive name that stays inside its folder: not empty, not "." or "..", no slash,
// backslash or control character.
bool IsSafeName(std::string_view name);

class Store {
 public:
  explicit Store(std::filesystem::path root)
      : root_(std::move(root)), ini_(PathIn(root_.native(), "kartiva.ini")) {}

  const std::filesystem::path& root() const { return root_; }
  bool IsInitialised() const;
  // Creates the store with one basket and one archive, both active; harmless to repeat.
  [[nodiscard]] ErrorCode Initialise() const;

  // The named setting of kartiva.ini, or kNotStarted when the store has none.
  [[nodiscard]] ErrorCode ReadSetting(std::string_view key, std::string& value) const;
  [[nodiscard]] ErrorCode BasketFolder(const std::string& name,
                                       std::filesystem::path& folder) const;
  [[nodiscard]] ErrorCode ArchiveFolder(const std::string& name,
                                        std::filesystem::path& folder) const;
  // The archive names, sorted, joined by commas.
  [[nodiscard]] ErrorCode ListArchives(std::string& names) const;
  // True when `file` names a document directly inside one of the store's baskets, itself and not
  // through a symbolic link; `document` is its path through the basket's real folder.
  bool ClaimableDocument(const std::filesystem::path& file, std::filesystem::path& document) const;

  // The journal, open to append to: only a regular file, never blocking on anything else that
  // bears its name; not open (-1) when there is none to write.
  UniqueFd OpenJournal() const;
  // Appends whole lines to the journal `fd`, best-effort: a journal that cannot be written costs
  // no operation.
  static void Journal(int fd, const std::string& lines);

 private:
  [[nodiscard]] ErrorCode Folder(std::string_view kind, const std::string& name, ErrorCode missing,
                                 std::filesystem::path& folder) const;

  std::filesystem::path root_;
  std::string ini_;  // asked for on nearly every operation
};

}  // namespace kartiva::localstore
