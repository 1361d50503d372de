#pragma once

// Repairs what a killed process left in a basket or an archive. Every operation runs it on the
// folders it works in before its own work; what a live process is doing is left alone (its files
// are locked while it lives), and the only copy of a document is never deleted.

#include <filesystem>
#include <string>

namespace kartiva::localstore {

class ArchiveIndex;
class Store;

// A claimed document goes on into the archive that already has its row, or back into the basket;
// a stale temporary file goes.
void RecoverBasket(const Store& store, const std::filesystem::path& basket);

// A staged copy with its row is published, one without goes (its document is still claimed in its
// basket or was never more than a copy); an archive file without a row gets its row, a row without
// its file goes; a stale temporary file goes.
void RecoverArchive(ArchiveIndex& index, const std::filesystem::path& archive);

// Publishes the staged copy of the row's file `file`, where it is still staged, and flushes the
// new name to disk when `flush`.
void PublishStaged(const std::filesystem::path& archive, const std::string& file, bool flush);

}  // namespace kartiva::localstore
