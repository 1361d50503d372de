#pragma once

// The operations of Kartiva's automation toolkit that the tools call. Every operation ends with a
// reference to the error code it returns (0 means success); a call can also fail outright, which an
// implementation raises as OutrightFailure. Out values come back through references; an out object
// may come back empty.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"

namespace kartiva {

class ToolkitBasket {
 public:
  virtual ~ToolkitBasket() = default;
  virtual void Open(ErrorCode& error) = 0;
  // newFileName receives the full name of the new basket document.
  virtual void AddFile(const std::string& filePath, const std::string& description,
                       std::string& newFileName, ErrorCode& error) = 0;
};

class ToolkitArchive {
 public:
  virtual ~ToolkitArchive() = default;
  virtual void Open(ErrorCode& error) = 0;
  virtual void StoreFile(const std::string& filePath, std::int32_t mode, bool useMask,
                         bool deleteAfterStoring, const std::string& indexString,
                         ErrorCode& error) = 0;
};

class ToolkitSession {
 public:
  virtual ~ToolkitSession() = default;
  virtual void StartClient(const std::string& first, const std::string& second,
                           std::int32_t timeout, ErrorCode& error) = 0;
  virtual void OpenBasket(const std::string& basketName, std::shared_ptr<ToolkitBasket>& basket,
                          ErrorCode& error) = 0;
  virtual void SetDocumentName(const std::string& documentName, ErrorCode& error) = 0;
  virtual void QueryActiveBasket(std::string& basketName, ErrorCode& error) = 0;
  virtual void Refresh(ErrorCode& error) = 0;
  virtual void OpenArchive(const std::string& archiveName, std::shared_ptr<ToolkitArchive>& archive,
                           ErrorCode& error) = 0;
  virtual void ListArchives(std::string& archiveNames, ErrorCode& error) = 0;
  virtual void QueryActiveArchive(std::string& archiveName, ErrorCode& error) = 0;
  virtual void ConvertFile(const std::string& filePath, const std::string& basketName,
                           const std::string& options, std::string& convertedName,
                           ErrorCode& error) = 0;
  virtual void IsClientRunning(bool& running, ErrorCode& error) = 0;
};

// The programmatic identifier by which every tool creates its toolkit object.
inline constexpr std::string_view kToolkitProgId = "KV5ToolKit.App";

// Creates a component by its programmatic identifier; an identifier that names no component is an
// outright failure.
class ComponentFactory {
 public:
  virtual ~ComponentFactory() = default;
  virtual std::shared_ptr<ToolkitSession> CreateToolkit(std::string_view progId) = 0;

  // A batch has the names its imports give documents confirmed as a group. From this call on, a
  // toolkit that flushes a folder before a new name counts as durable leaves that flush to
  // ConfirmHeld, which then flushes each such folder once, however many names it got. True when
  // it holds them; where the server keeps the documents itself (the real Kartiva server), there is
  // nothing to hold, and a file is done once its toolkit calls have returned.
  virtual bool HoldConfirmations() { return false; }
  // Confirms what was held since; gives the files (as handed to AddFile) whose new names the disk
  // did not confirm: they are in their folder, but a power cut may yet take them.
  virtual std::vector<std::string> ConfirmHeld() { return {}; }
};

// The object behind a toolkit variable, or an outright failure when the variable holds none (an
// open operation that did not supply one), so that a call on it never dereferences nothing.
template <typename T>
T& Require(const std::shared_ptr<T>& object, std::string_view variableName) {
  if (!object) {
    throw OutrightFailure(kErrObjectNotSet,
                          "Object variable not set: " + std::string(variableName));
  }
  return *object;
}

}  // namespace kartiva
