#include "localstore/local_session.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <initializer_list>
#include <map>
#include <memory>
#include <string>

#include "linux_base/atomic_file.h"
#include "localstore/archive_index.h"
#include "localstore/codes.h"
#include "localstore/crash_point.h"
#include "localstore/files.h"
#include "localstore/folder_stamp.h"
#include "localstore/in_flight.h"
#include "localstore/kernel_copy.h"
#include "localstore/new_file.h"
#include "localstore/numbering.h"
#include "localstore/original_name.h"
#include "localstore/recovery.h"
#include "localstore/store.h"
#include "localstore/storing.h"

namespace kartiva::localstore {
namespace {

namespace fs = std::filesystem;

// One argument or out value as the journal writes it: strings quoted and escaped so that a line
// stays one line, numbers and flags plain.
class Value {
 public:
  Value(const std::string& text) : text_(Quoted(text)) {}  // NOLINT: implicit on purpose
  Value(std::int32_t number) : text_(std::to_string(number)) {}
  Value(bool flag) : text_(flag ? "true" : "false") {}
  const std::string& text() const { return text_; }

 private:
  // The text between quotes, with quotes, backslashes and control characters escaped; the runs of
  // characters in between are copied whole.
  static std::string Quoted(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    std::size_t copied = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
      const auto byte = static_cast<unsigned char>(text[at]);
      const bool control = byte < 0x20 || byte == 0x7F;
      if (!control && byte != '"' && byte != '\\') continue;
      quoted.append(text, copied, at - copied);
      copied = at + 1;
      if (control) {
        quoted += "\\x";
        quoted += kHex[byte >> 4];
        quoted += kHex[byte & 0xF];
      } else {
        quoted += '\\';
        quoted += text[at];
      }
    }
    quoted.append(text, copied);
    quoted += '"';
    return quoted;
  }
  std::string text_;
};

// Gives a copy added to be stored, that was not stored, its basket name after all: there the
// document stays, as a failed store leaves it. Nothing else is to be done should that fail: the
// source is still where it was.
void PlaceInBasket(AddedCopy& added) {
  static_cast<void>(added.copy.PublishAsDocument(added.document.parent_path(), added.document));
}

// What a session shares with the objects it opens.
struct Session {
  Session(Store opened, std::shared_ptr<HeldNames> heldNames)
      : store(std::move(opened)), held(std::move(heldNames)) {}
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  Store store;
  std::string documentName{};       // named by SetDocumentName for the next stored document
  std::string unwritten{};          // journal lines of operations before the store existed
  UniqueFd journal{};               // opened once, at the first line written
  std::shared_ptr<HeldNames> held;  // where imports leave their folder's flush, in a batch
  // A session that opened an archive adds files to store them: their copies wait here, by the
  // basket name handed out, for the store that files them.
  bool storing = false;
  std::map<std::string, std::unique_ptr<AddedCopy>> added{};

  ~Session() {
    for (auto& [name, copy] : added) PlaceInBasket(*copy);
  }

  // The copy added under `name` to be stored, taken out of waiting; none for any other file.
  std::unique_ptr<AddedCopy> TakeAdded(const std::string& name) {
    const auto found = added.find(name);
    if (found == added.end()) return nullptr;
    std::unique_ptr<AddedCopy> copy = std::move(found->second);
    added.erase(found);
    return copy;
  }
  ErrorCode startFailure = 0;  // why StartClient could not make the store, if it could not

  // Sets the caller's error code and writes the operation's journal line. Until the store is
  // initialised the lines wait in memory: a session that never starts the store writes nothing.
  // A store that StartClient could not make answers with the cause instead of "not started".
  // `storeSeen` says that the caller has just found the store there, which need not be asked again.
  void Record(std::string_view operation, std::initializer_list<Value> arguments, ErrorCode code,
              ErrorCode& error, std::initializer_list<Value> outs = {}, bool storeSeen = false) {
    if (code == kNotStarted && startFailure != 0) code = startFailure;
    unwritten += operation;
    for (const Value& argument : arguments) unwritten += " " + argument.text();
    unwritten += " -> " + HexCode(code);
    for (const Value& out : outs) unwritten += " " + out.text();
    unwritten += "\n";
    if (journal.get() >= 0 || storeSeen || store.IsInitialised()) {
      if (journal.get() < 0) journal = store.OpenJournal();
      Store::Journal(journal.get(), unwritten);
      unwritten.clear();
    }
    error = code;
  }
};

[[nodiscard]] ErrorCode ActiveName(const Store& store, std::string_view key, ErrorCode unset,
                                   std::string& name) {
  std::string value;
  if (ErrorCode code = store.ReadSetting(key, value)) return code;
  if (value.empty()) return unset;
  if (!IsSafeName(value)) return kBadName;
  name = value;
  return 0;
}

// What a basket and an archive object share: the session that opened them and their folder.
class FolderObject {
 public:
  FolderObject(std::shared_ptr<Session> session, fs::path folder)
      : session_(std::move(session)), folder_(std::move(folder)) {}

 protected:
  void RecordOpen(std::string_view operation, ErrorCode missing, ErrorCode& error) const {
    std::error_code ignored;
    session_->Record(operation, {folder_.filename().string()},
                     fs::is_directory(folder_, ignored) ? 0 : missing, error);
  }

  std::shared_ptr<Session> session_;
  fs::path folder_;
};

class LocalBasket : public ToolkitBasket, private FolderObject {
 public:
  using FolderObject::FolderObject;

  void Open(ErrorCode& error) override { RecordOpen("Basket.Open", kNoSuchBasket, error); }

  void AddFile(const std::string& filePath, const std::string& description,
               std::string& newFileName, ErrorCode& error) override {
    newFileName.clear();
    const ErrorCode code = Add(filePath, newFileName);
    session_->Record("AddFile", {filePath, description}, code, error, {newFileName});
  }

 private:
  [[nodiscard]] ErrorCode Add(const std::string& filePath, std::string& newFileName) const {
    if (ErrorCode code = MakeInFlightFolder(folder_)) return code;
    Recovery recovery(session_->store);
    recovery.RecoverBasket(folder_);
    const ErrorCode code =
        session_->storing ? AddToStore(filePath, newFileName) : Import(filePath, newFileName);
    // A copy added to be stored gets no name in the basket: the basket is as its stamp saw it,
    // unless a repair changed it.
    const bool changed = !session_->storing || recovery.repairs().AnyMade();
    if (changed && recovery.repairs().leftForLater == 0) RecordFolderStamp(folder_);
    CrashPoint("import-done");
    return code;
  }

  // A complete copy of the file, without a name yet.
  [[nodiscard]] ErrorCode CopyIn(const std::string& filePath, NewFile& copy) const {
    UniqueFd source;
    if (ErrorCode code = OpenRegularFile(filePath, source)) return code;
    if (ErrorCode code = copy.Create(InFlightFolder(folder_))) return code;
    if (ErrorCode code = CopyFileData(source.get(), copy.fd())) return code;
    RecordOriginalName(copy.fd(), std::string(LastName(filePath)));
    return 0;
  }

  // Copies the file in and publishes it under the next number; in a batch, the basket folder's
  // flush waits for the batch's other names.
  [[nodiscard]] ErrorCode Import(const std::string& filePath, std::string& newFileName) const {
    NewFile copy;
    if (ErrorCode code = CopyIn(filePath, copy)) return code;
    fs::path document;
    const ErrorCode code = session_->held ? copy.NameAsDocument(folder_, document)
                                          : copy.PublishAsDocument(folder_, document);
    if (!document.empty()) newFileName = document.string();
    if (code == 0 && session_->held) session_->held->Hold(folder_, filePath);
    return code;
  }

  // Copies the file in for the store that follows, and hands out the next number as its name.
  [[nodiscard]] ErrorCode AddToStore(const std::string& filePath, std::string& newFileName) const {
    auto added = std::make_unique<AddedCopy>();
    if (ErrorCode code = CopyIn(filePath, added->copy)) return code;
    unsigned long number = 0;
    if (ErrorCode code = NextNumber(folder_, number)) return code;
    added->document = folder_ / DocumentName(number);
    newFileName = added->document.string();
    session_->added[newFileName] = std::move(added);
    CrashPoint("copy-added");
    return 0;
  }
};

class LocalArchive : public ToolkitArchive, private FolderObject {
 public:
  using FolderObject::FolderObject;

  void Open(ErrorCode& error) override { RecordOpen("Archive.Open", kNoSuchArchive, error); }

  void StoreFile(const std::string& filePath, std::int32_t mode, bool useMask,
                 bool deleteAfterStoring, const std::string& indexString,
                 ErrorCode& error) override {
    IndexRow row{.documentName = session_->documentName.empty() ? std::string(LastName(filePath))
                                                                : session_->documentName,
                 .indexString = indexString,
                 .mode = mode,
                 .useMask = useMask,
                 .deleteAfterStoring = deleteAfterStoring};
    std::string file = filePath;
    std::unique_ptr<AddedCopy> added = session_->TakeAdded(filePath);
    if (added && !deleteAfterStoring) {
      // Stored without deletion, the document stays in the basket, and a copy of it is filed.
      PlaceInBasket(*added);
      file = added->document.string();
      added.reset();
    }
    const ErrorCode code = StoreIntoArchive(session_->store, folder_, file, row, added.get());
    if (added && row.file.empty()) PlaceInBasket(*added);
    if (code == 0) session_->documentName.clear();
    session_->Record("StoreFile", {filePath, mode, useMask, deleteAfterStoring, indexString}, code,
                     error, {row.file});
  }
};

class LocalSession : public ToolkitSession {
 public:
  LocalSession(fs::path root, std::shared_ptr<HeldNames> held)
      : session_(std::make_shared<Session>(Store(std::move(root)), std::move(held))) {}

  void StartClient(const std::string& first, const std::string& second, std::int32_t timeout,
                   ErrorCode& error) override {
    errno = 0;
    const ErrorCode code = store().Initialise();
    if (code != 0) {
      const int cause = errno;
      session_->startFailure = code;
      TraceFailure("the local store " + store().root().string() + " could not be made (" +
                   HexCode(code) + (cause != 0 ? std::string(": ") + std::strerror(cause) : "") +
                   ")");
    }
    session_->Record("StartClient", {first, second, timeout}, code, error);
  }

  void OpenBasket(const std::string& basketName, std::shared_ptr<ToolkitBasket>& basket,
                  ErrorCode& error) override {
    fs::path folder;
    const ErrorCode code = store().BasketFolder(basketName, folder);
    basket = code == 0 ? std::make_shared<LocalBasket>(session_, folder) : nullptr;
    session_->Record("OpenBasket", {basketName}, code, error);
  }

  void SetDocumentName(const std::string& documentName, ErrorCode& error) override {
    const ErrorCode code = store().IsInitialised() ? 0 : kNotStarted;
    // The tools cut the name after the last backslash, as Windows paths go; the stand-in's own
    // paths use slashes, so it keeps only the file name of what it is handed.
    if (code == 0) session_->documentName = LastName(documentName);
    session_->Record("SetDocumentName", {documentName}, code, error);
  }

  void QueryActiveBasket(std::string& basketName, ErrorCode& error) override {
    basketName.clear();
    const ErrorCode code = ActiveName(store(), "ActiveBasket", kNoActiveBasket, basketName);
    session_->Record("QueryActiveBasket", {}, code, error, {basketName});
  }

  void Refresh(ErrorCode& error) override {
    session_->Record("Refresh", {}, store().IsInitialised() ? 0 : kNotStarted, error);
  }

  void OpenArchive(const std::string& archiveName, std::shared_ptr<ToolkitArchive>& archive,
                   ErrorCode& error) override {
    fs::path folder;
    const ErrorCode code = store().ArchiveFolder(archiveName, folder);
    archive = code == 0 ? std::make_shared<LocalArchive>(session_, folder) : nullptr;
    session_->storing = session_->storing || code == 0;
    session_->Record("OpenArchive", {archiveName}, code, error);
  }

  void ListArchives(std::string& archiveNames, ErrorCode& error) override {
    const ErrorCode code = store().ListArchives(archiveNames);
    session_->Record("ListArchives", {}, code, error, {archiveNames});
  }

  void QueryActiveArchive(std::string& archiveName, ErrorCode& error) override {
    archiveName.clear();
    const ErrorCode code = ActiveName(store(), "ActiveArchive", kNoActiveArchive, archiveName);
    session_->Record("QueryActiveArchive", {}, code, error, {archiveName});
  }

  // Conversion is not needed by the stand-in: it succeeds for any readable file and hands the
  // same file back.
  void ConvertFile(const std::string& filePath, const std::string& basketName,
                   const std::string& options, std::string& convertedName,
                   ErrorCode& error) override {
    UniqueFd file;
    const ErrorCode code = store().IsInitialised() ? OpenRegularFile(filePath, file) : kNotStarted;
    convertedName = code == 0 ? filePath : std::string();
    session_->Record("ConvertFile", {filePath, basketName, options}, code, error, {convertedName});
  }

  void IsClientRunning(bool& running, ErrorCode& error) override {
    running = store().IsInitialised();
    session_->Record("IsClientRunning", {}, 0, error, {running}, running);
  }

 private:
  const Store& store() const { return session_->store; }
  std::shared_ptr<Session> session_;
};

}  // namespace

void HeldNames::Hold(const fs::path& folder, const std::string& file) {
  files_[folder].push_back(file);
}

std::vector<std::string> HeldNames::Confirm() {
  if (!files_.empty()) CrashPoint("names-held");
  std::vector<std::string> unconfirmed;
  for (const auto& [folder, files] : files_) {
    if (linux_os::ConfirmFolder(folder) != 0) {
      unconfirmed.insert(unconfirmed.end(), files.begin(), files.end());
    }
    CrashPoint("names-confirmed");
  }
  files_.clear();
  return unconfirmed;
}

std::shared_ptr<ToolkitSession> OpenSession(fs::path root, std::shared_ptr<HeldNames> held) {
  return std::make_shared<LocalSession>(std::move(root), std::move(held));
}

}  // namespace kartiva::localstore
