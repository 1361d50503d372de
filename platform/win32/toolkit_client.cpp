#include "platform/win32/toolkit_client.h"

#include <string>
#include <utility>

#include "platform/win32/dispatch.h"
#include "platform/win32/utf16.h"

namespace kartiva::win32 {
namespace {

// One toolkit object: its interface and the name that a failure report gives it.
class DispatchObject {
 protected:
  DispatchObject(ComPtr<IDispatch> object, std::string_view name)
      : object_(std::move(object)), name_(name) {}

  template <typename... Args>
  void Call(std::string_view member, Args&&... args) {
    Invoke(*object_.get(), name_, member, std::forward<Args>(args)...);
  }

 private:
  ComPtr<IDispatch> object_;
  std::string_view name_;
};

class DispatchBasket : public ToolkitBasket, private DispatchObject {
 public:
  explicit DispatchBasket(ComPtr<IDispatch> object)
      : DispatchObject(std::move(object), "ToolkitBasket") {}

  void Open(ErrorCode& error) override { Call("Open", ByRef(error)); }
  void AddFile(const std::string& filePath, const std::string& description,
               std::string& newFileName, ErrorCode& error) override {
    Call("AddFile", filePath, description, ByRef(newFileName), ByRef(error));
  }
};

class DispatchArchive : public ToolkitArchive, private DispatchObject {
 public:
  explicit DispatchArchive(ComPtr<IDispatch> object)
      : DispatchObject(std::move(object), "ToolkitArchive") {}

  void Open(ErrorCode& error) override { Call("Open", ByRef(error)); }
  void StoreFile(const std::string& filePath, std::int32_t mode, bool useMask,
                 bool deleteAfterStoring, const std::string& indexString,
                 ErrorCode& error) override {
    Call("StoreFile", filePath, mode, useMask, deleteAfterStoring, indexString, ByRef(error));
  }
};

// An out object as the tools hold it: an adapter, or nothing when the toolkit gave none.
template <typename Adapter, typename Interface>
void Wrap(ComPtr<IDispatch>& object, std::shared_ptr<Interface>& variable) {
  if (object) {
    variable = std::make_shared<Adapter>(std::move(object));
  } else {
    variable.reset();
  }
}

class DispatchSession : public ToolkitSession, private DispatchObject {
 public:
  explicit DispatchSession(ComPtr<IDispatch> object)
      : DispatchObject(std::move(object), "ToolkitSession") {}

  void StartClient(const std::string& first, const std::string& second, std::int32_t timeout,
                   ErrorCode& error) override {
    Call("StartClient", first, second, timeout, ByRef(error));
  }
  void OpenBasket(const std::string& basketName, std::shared_ptr<ToolkitBasket>& basket,
                  ErrorCode& error) override {
    ComPtr<IDispatch> object;
    Call("OpenBasket", basketName, ByRef(object), ByRef(error));
    Wrap<DispatchBasket>(object, basket);
  }
  void SetDocumentName(const std::string& documentName, ErrorCode& error) override {
    Call("SetDocumentName", documentName, ByRef(error));
  }
  void QueryActiveBasket(std::string& basketName, ErrorCode& error) override {
    Call("QueryActiveBasket", ByRef(basketName), ByRef(error));
  }
  void Refresh(ErrorCode& error) override { Call("Refresh", ByRef(error)); }
  void OpenArchive(const std::string& archiveName, std::shared_ptr<ToolkitArchive>& archive,
                   ErrorCode& error) override {
    ComPtr<IDispatch> object;
    Call("OpenArchive", archiveName, ByRef(object), ByRef(error));
    Wrap<DispatchArchive>(object, archive);
  }
  void ListArchives(std::string& archiveNames, ErrorCode& error) override {
    Call("ListArchives", ByRef(archiveNames), ByRef(error));
  }
  void QueryActiveArchive(std::string& archiveName, ErrorCode& error) override {
    Call("QueryActiveArchive", ByRef(archiveName), ByRef(error));
  }
  void ConvertFile(const std::string& filePath, const std::string& basketName,
                   const std::string& options, std::string& convertedName,
                   ErrorCode& error) override {
    Call("ConvertFile", filePath, basketName, options, ByRef(convertedName), ByRef(error));
  }
  void IsClientRunning(bool& running, ErrorCode& error) override {
    Call("IsClientRunning", ByRef(running), ByRef(error));
  }
};

[[noreturn]] void CannotCreate(std::string_view progId, std::string_view step, HRESULT result) {
  std::string cause = std::string(step) + ", HRESULT " + HexCode(static_cast<ErrorCode>(result));
  // Wine has no text for some codes (800401F3 among them).
  if (const std::string text = SystemMessage(result); !text.empty()) cause += ": " + text;
  throw OutrightFailure(kErrCannotCreateComponent, "ActiveX component can't create object: " +
                                                       std::string(progId) + " (" + cause + ")");
}

}  // namespace

std::shared_ptr<ToolkitSession> WrapSession(ComPtr<IDispatch> session) {
  return std::make_shared<DispatchSession>(std::move(session));
}

std::shared_ptr<ToolkitSession> ComComponents::CreateToolkit(std::string_view progId) {
  const std::wstring name = ToUtf16<wchar_t>(progId);
  CLSID id{};
  HRESULT result = CLSIDFromProgID(name.c_str(), &id);
  if (FAILED(result)) CannotCreate(progId, "CLSIDFromProgID", result);
  ComPtr<IDispatch> object;
  result = CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                            object.ReceiveVoid());
  if (FAILED(result)) CannotCreate(progId, "CoCreateInstance", result);
  return WrapSession(std::move(object));
}

}  // namespace kartiva::win32
