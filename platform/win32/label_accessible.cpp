#include "platform/win32/label_accessible.h"

#include <oleacc.h>

#include <utility>

#include "platform/win32/com.h"

namespace kartiva::win32 {
namespace {

// What the German system calls following a link.
constexpr wchar_t kFollowAction[] = L"Springen";

// The client area: labels are children 1 to N, simple elements of this object; the visible child
// windows follow, each with the system's object of its own. The system's object for the client
// area answers for the area itself.
class LabelledClient final : public IAccessible {
 public:
  LabelledClient(HWND window, ComPtr<IAccessible> standard, std::vector<AccessibleLabel> labels)
      : window_(window), standard_(std::move(standard)), labels_(std::move(labels)) {}
  LabelledClient(const LabelledClient&) = delete;
  LabelledClient& operator=(const LabelledClient&) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IDispatch) ||
        IsEqualIID(id, IID_IAccessible)) {
      *object = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IDispatch: screen readers call IAccessible directly.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    return standard_->get_accParent(parent);
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    if (!count) return E_POINTER;
    *count = Labels() + static_cast<long>(ChildWindows().size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsLabel(child)) return S_FALSE;  // a simple element: this object answers for it
    const std::vector<HWND> windows = ChildWindows();
    if (child.vt != VT_I4 || child.lVal <= Labels() ||
        child.lVal > Labels() + static_cast<long>(windows.size())) {
      return E_INVALIDARG;
    }
    return WindowObject(windows[static_cast<std::size_t>(child.lVal - Labels() - 1)], object);
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (!IsLabel(child)) return standard_->get_accName(WindowChild(child), name);
    return Text(Label(child).name, name);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    if (!IsLabel(child)) return standard_->get_accValue(WindowChild(child), value);
    return Unsupported(value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override {
    if (!IsLabel(child)) return standard_->get_accDescription(WindowChild(child), description);
    return Unsupported(description);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!IsLabel(child)) return standard_->get_accRole(WindowChild(child), role);
    return Number(Label(child).link ? ROLE_SYSTEM_LINK : ROLE_SYSTEM_STATICTEXT, role);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    if (!IsLabel(child)) return standard_->get_accState(WindowChild(child), state);
    return Number(Label(child).link ? STATE_SYSTEM_LINKED : STATE_SYSTEM_READONLY, state);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
    if (!IsLabel(child)) return standard_->get_accHelp(WindowChild(child), help);
    return Unsupported(help);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
    if (!IsLabel(child)) return standard_->get_accHelpTopic(file, WindowChild(child), topic);
    if (topic) *topic = 0;
    return Unsupported(file);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    if (!IsLabel(child)) return standard_->get_accKeyboardShortcut(WindowChild(child), shortcut);
    return Unsupported(shortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focused) override {
    return standard_->get_accFocus(focused);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selected) override {
    return standard_->get_accSelection(selected);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    if (!IsLabel(child)) return standard_->get_accDefaultAction(WindowChild(child), action);
    if (!Label(child).link) return Unsupported(action);
    return Text(kFollowAction, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
    if (!IsLabel(child)) return standard_->accSelect(flags, WindowChild(child));
    return DISP_E_MEMBERNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height,
                                        VARIANT child) override {
    if (!IsLabel(child)) {
      return standard_->accLocation(left, top, width, height, WindowChild(child));
    }
    if (!left || !top || !width || !height) return E_POINTER;
    const RECT& place = Label(child).place;
    POINT corner{place.left, place.top};
    if (!ClientToScreen(window_, &corner)) return E_FAIL;
    *left = corner.x;
    *top = corner.y;
    *width = place.right - place.left;
    *height = place.bottom - place.top;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
    if (!IsLabel(start)) return standard_->accNavigate(direction, WindowChild(start), end);
    return DISP_E_MEMBERNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* hit) override {
    if (!hit) return E_POINTER;
    POINT at{x, y};
    RECT area{};
    if (!ScreenToClient(window_, &at) || !GetClientRect(window_, &area)) return E_FAIL;
    if (!PtInRect(&area, at)) {
      VariantInit(hit);  // VT_EMPTY: not in this object
      return S_FALSE;
    }
    // The last label is painted on top.
    for (long i = Labels(); i > 0; --i) {
      if (PtInRect(&labels_[static_cast<std::size_t>(i - 1)].place, at)) return Number(i, hit);
    }
    const HWND below = ChildWindowFromPointEx(window_, at, CWP_SKIPINVISIBLE);
    if (below && below != window_) {
      IDispatch* object = nullptr;
      const HRESULT result = WindowObject(below, &object);
      if (FAILED(result)) return result;
      VariantInit(hit);
      hit->vt = VT_DISPATCH;
      hit->pdispVal = object;
      return S_OK;
    }
    return Number(CHILDID_SELF, hit);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    if (!IsLabel(child)) return standard_->accDoDefaultAction(WindowChild(child));
    if (!Label(child).link) return DISP_E_MEMBERNOTFOUND;
    const auto index = static_cast<WPARAM>(child.lVal - 1);
    return PostMessageW(window_, kFollowLabelMessage, index, 0) ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~LabelledClient() = default;

  long Labels() const { return static_cast<long>(labels_.size()); }
  bool IsLabel(const VARIANT& child) const {
    return child.vt == VT_I4 && child.lVal > 0 && child.lVal <= Labels();
  }
  const AccessibleLabel& Label(const VARIANT& child) const {
    return labels_[static_cast<std::size_t>(child.lVal - 1)];
  }
  // Only the client area itself is the system's object's to answer for: a child window answers
  // through its own object.
  static VARIANT WindowChild(VARIANT child) {
    if (child.vt == VT_I4 && child.lVal != CHILDID_SELF) child.lVal = -1;
    return child;
  }
  std::vector<HWND> ChildWindows() const {
    std::vector<HWND> windows;
    for (HWND child = GetWindow(window_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if (IsWindowVisible(child)) windows.push_back(child);
    }
    return windows;
  }
  static HRESULT WindowObject(HWND child, IDispatch** object) {
    return AccessibleObjectFromWindow(child, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                      reinterpret_cast<void**>(object));
  }

  static HRESULT Text(const std::wstring& text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  static HRESULT Unsupported(BSTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return DISP_E_MEMBERNOTFOUND;
  }
  static HRESULT Number(long value, VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    out->vt = VT_I4;
    out->lVal = value;
    return S_OK;
  }

  LONG references_ = 1;
  HWND window_;
  ComPtr<IAccessible> standard_;
  std::vector<AccessibleLabel> labels_;
};

}  // namespace

LRESULT AnswerGetObject(HWND window, WPARAM wParam, LPARAM lParam,
                        std::vector<AccessibleLabel> labels) {
  if (static_cast<LONG>(lParam) != static_cast<LONG>(OBJID_CLIENT)) return 0;
  ComPtr<IAccessible> standard;
  if (FAILED(CreateStdAccessibleObject(window, OBJID_CLIENT, IID_IAccessible,
                                       standard.ReceiveVoid()))) {
    return 0;
  }
  const ComPtr<IAccessible> client = ComPtr<IAccessible>::Adopt(
      new LabelledClient(window, std::move(standard), std::move(labels)));
  const LRESULT result = LresultFromObject(IID_IAccessible, wParam, client.get());
  return FAILED(result) ? 0 : result;
}

}  // namespace kartiva::win32
