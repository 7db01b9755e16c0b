#include "platform/win32/Win32Accessible.h"

#include <oleacc.h>

#include <string>

#include "platform/win32/Win32Text.h"

namespace {

constexpr wchar_t kStandInClass[] = L"ZkButtonFocus";

struct StandInLink {
  std::shared_ptr<AccessibleLink> link;
};

bool FindButton(const AccessibleLink& link, uint64_t command, ButtonState& out) {
  if (link.window == nullptr) return false;
  for (const ButtonState& state : link.window->Buttons()) {
    if (state.command == command) {
      out = state;
      if (link.toClient) out.place = link.toClient(state.place);
      return true;
    }
  }
  return false;
}

VARIANT Int(LONG value) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

VARIANT Object(IDispatch* object) {
  VARIANT v;
  ::VariantInit(&v);
  if (object != nullptr) {
    v.vt = VT_DISPATCH;
    v.pdispVal = object;
  }
  return v;
}

bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }

// IUnknown and IDispatch for an IAccessible that offers no type information.
class AccessibleBase : public IAccessible {
 public:
  virtual ~AccessibleBase() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (id == IID_IUnknown || id == IID_IDispatch || id == __uuidof(IAccessible)) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ULONG references_ = 1;
};

// One sprite button: a push button with no children of its own.
class ButtonAccessible final : public AccessibleBase {
 public:
  ButtonAccessible(std::shared_ptr<AccessibleLink> link, uint64_t command)
      : link_(std::move(link)), command_(command) {}

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
    *parent = nullptr;
    if (link_->window == nullptr) return E_FAIL;
    return ::AccessibleObjectFromWindow(link_->dialog, static_cast<DWORD>(OBJID_CLIENT), IID_IDispatch,
                                        reinterpret_cast<void**>(parent));
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override {
    *child = nullptr;
    return E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    *name = nullptr;
    ButtonState state;
    if (!IsSelf(child)) return E_INVALIDARG;
    if (!FindButton(*link_, command_, state)) return E_FAIL;
    *name = ::SysAllocString(ToWide(state.name).c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT, BSTR* value) override {
    *value = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* text) override {
    *text = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    if (!IsSelf(child)) return E_INVALIDARG;
    *role = Int(ROLE_SYSTEM_PUSHBUTTON);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* out) override {
    ButtonState state;
    if (!IsSelf(child)) return E_INVALIDARG;
    if (!FindButton(*link_, command_, state)) return E_FAIL;
    LONG flags = STATE_SYSTEM_FOCUSABLE;
    if (!state.enabled) flags |= STATE_SYSTEM_UNAVAILABLE;
    if (state.focused) flags |= STATE_SYSTEM_FOCUSED;
    if (state.pressed) flags |= STATE_SYSTEM_PRESSED;
    *out = Int(flags);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* text) override {
    *text = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
    *file = nullptr;
    *topic = 0;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* text) override {
    *text = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
    ButtonState state;
    *out = FindButton(*link_, command_, state) && state.focused ? Int(CHILDID_SELF) : Object(nullptr);
    return out->vt == VT_EMPTY ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
    ::VariantInit(out);
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    *action = nullptr;
    if (!IsSelf(child)) return E_INVALIDARG;
    *action = ::SysAllocString(L"Press");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
    ButtonState state;
    *left = *top = *width = *height = 0;
    if (!IsSelf(child)) return E_INVALIDARG;
    if (!FindButton(*link_, command_, state)) return E_FAIL;
    POINT corner{state.place.left, state.place.top};
    ::ClientToScreen(link_->dialog, &corner);
    *left = corner.x, *top = corner.y;
    *width = state.place.right - state.place.left;
    *height = state.place.bottom - state.place.top;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG, VARIANT, VARIANT* out) override {
    ::VariantInit(out);
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override {
    LONG left = 0, top = 0, width = 0, height = 0;
    accLocation(&left, &top, &width, &height, Int(CHILDID_SELF));
    const bool inside = x >= left && x < left + width && y >= top && y < top + height;
    *out = inside ? Int(CHILDID_SELF) : Object(nullptr);
    return inside ? S_OK : S_FALSE;
  }
  // As the activation of any push button: the press happens after the call
  // has returned, so a box the command shows never holds the caller.
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
    ButtonState state;
    if (!IsSelf(child)) return E_INVALIDARG;
    if (!FindButton(*link_, command_, state) || !state.enabled) return E_FAIL;
    ::PostMessageW(link_->dialog, kWmStandIn, kWmButtonClick, static_cast<LPARAM>(command_));
    return S_OK;
  }

 private:
  std::shared_ptr<AccessibleLink> link_;
  uint64_t command_;
};

// The dialog's client: what the system says of it, with the visible
// controls and the buttons as its children, in the Tab order.
class DialogAccessible final : public AccessibleBase {
 public:
  DialogAccessible(std::shared_ptr<AccessibleLink> link, IAccessible* system)
      : link_(std::move(link)), system_(system) {}
  ~DialogAccessible() override { system_->Release(); }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return system_->get_accParent(parent); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
    *count = static_cast<LONG>(Children().size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    *out = nullptr;
    const std::vector<HWND> children = Children();
    if (child.vt != VT_I4 || child.lVal < 1 || static_cast<std::size_t>(child.lVal) > children.size()) {
      return E_INVALIDARG;
    }
    *out = ObjectOf(children[child.lVal - 1]);
    return *out != nullptr ? S_OK : E_FAIL;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    return system_->get_accName(child, name);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return system_->get_accValue(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
    return system_->get_accDescription(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    return system_->get_accRole(child, role);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    return system_->get_accState(child, state);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* text) override {
    return system_->get_accHelp(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
    return system_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* text) override {
    return system_->get_accKeyboardShortcut(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
    const HWND focus = ::GetFocus();
    if (focus != nullptr && IsButtonStandIn(focus) && ::GetParent(focus) == link_->dialog) {
      *out = Object(ObjectOf(focus));
      return S_OK;
    }
    return system_->get_accFocus(out);
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override { return system_->get_accSelection(out); }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return system_->get_accDefaultAction(child, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override { return system_->accSelect(flags, child); }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
    return system_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* out) override {
    return system_->accNavigate(direction, start, out);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* out) override {
    for (const HWND child : Children()) {
      if (!IsButtonStandIn(child)) continue;
      IDispatch* button = ObjectOf(child);
      VARIANT hit;
      ::VariantInit(&hit);
      if (button != nullptr && static_cast<ButtonAccessible*>(button)->accHitTest(x, y, &hit) == S_OK) {
        *out = Object(button);
        return S_OK;
      }
      if (button != nullptr) button->Release();
    }
    return system_->accHitTest(x, y, out);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override { return system_->accDoDefaultAction(child); }

 private:
  // The visible child windows in their order, the stand-ins last.
  std::vector<HWND> Children() const {
    std::vector<HWND> children;
    for (HWND w = ::GetWindow(link_->dialog, GW_CHILD); w != nullptr; w = ::GetWindow(w, GW_HWNDNEXT)) {
      if (::IsWindowVisible(w)) children.push_back(w);
    }
    return children;
  }
  IDispatch* ObjectOf(HWND child) const {
    if (IsButtonStandIn(child)) {
      return new ButtonAccessible(link_, static_cast<uint64_t>(::GetDlgCtrlID(child)));
    }
    IDispatch* object = nullptr;
    ::AccessibleObjectFromWindow(child, static_cast<DWORD>(OBJID_CLIENT), IID_IDispatch,
                                 reinterpret_cast<void**>(&object));
    return object;
  }

  std::shared_ptr<AccessibleLink> link_;
  IAccessible* system_;
};

uint64_t KeyMessage(UINT message) { return message == WM_KEYDOWN ? kWmKeyDown : kWmKeyUp; }

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const HWND dialog = ::GetParent(window);
  const auto command = static_cast<LPARAM>(::GetDlgCtrlID(window));
  switch (message) {
    case WM_NCCREATE:
      ::SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
      break;
    case WM_NCDESTROY: delete reinterpret_cast<StandInLink*>(::GetWindowLongPtrW(window, GWLP_USERDATA)); break;
    case WM_GETDLGCODE: return DLGC_BUTTON;  // a button that is never the default one
    case WM_SETFOCUS: ::SendMessageW(dialog, kWmStandIn, kWmSetFocus, command); return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
      if (wParam != VK_SPACE) break;
      ::SendMessageW(dialog, kWmStandIn, KeyMessage(message), kKeySpace);
      return 0;
    case WM_GETOBJECT:
      // A screen reader that follows the focus asks the focused window.
      if (static_cast<LONG>(lParam) == OBJID_CLIENT) {
        auto* link = reinterpret_cast<StandInLink*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (link == nullptr) break;
        ButtonAccessible* button = new ButtonAccessible(link->link, static_cast<uint64_t>(command));
        const LRESULT result = ::LresultFromObject(__uuidof(IAccessible), wParam, button);
        button->Release();
        return result;
      }
      break;
    case WM_PAINT: ::ValidateRect(window, nullptr); return 0;  // zero-sized: nothing to draw
    default: break;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void CreateButtonStandIns(HWND dialog, const std::shared_ptr<AccessibleLink>& link,
                          const std::vector<ButtonState>& buttons) {
  WNDCLASSEXW type{};
  type.cbSize = sizeof type;
  type.lpfnWndProc = StandInProc;
  type.hInstance = ::GetModuleHandleW(nullptr);
  type.lpszClassName = kStandInClass;
  ::RegisterClassExW(&type);  // fails harmlessly when a window before made it
  for (const ButtonState& button : buttons) {
    const HWND standIn = ::CreateWindowExW(0, kStandInClass, ToWide(button.name).c_str(),
                                           WS_CHILD | WS_VISIBLE | WS_TABSTOP, button.place.left, button.place.top, 0,
                                           0, dialog, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(button.command)),
                                           type.hInstance, new StandInLink{link});
    if (standIn != nullptr) ::SetWindowPos(standIn, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

void UpdateButtonStandIns(HWND dialog, const std::vector<ButtonState>& before, const std::vector<ButtonState>& now) {
  for (std::size_t i = 0; i < now.size(); ++i) {
    const HWND standIn = ::GetDlgItem(dialog, static_cast<int>(now[i].command));
    if (standIn == nullptr) continue;
    const bool changed = i >= before.size() || before[i].enabled != now[i].enabled ||
                         before[i].pressed != now[i].pressed || before[i].focused != now[i].focused;
    if ((::IsWindowEnabled(standIn) != FALSE) != now[i].enabled) ::EnableWindow(standIn, now[i].enabled);
    if (changed) ::NotifyWinEvent(EVENT_OBJECT_STATECHANGE, standIn, OBJID_CLIENT, CHILDID_SELF);
  }
}

bool IsButtonStandIn(HWND window) {
  wchar_t name[32] = {};
  return ::GetClassNameW(window, name, 32) > 0 && std::wstring(name) == kStandInClass;
}

LRESULT DialogObject(const std::shared_ptr<AccessibleLink>& link, WPARAM wParam, LPARAM lParam) {
  if (static_cast<LONG>(lParam) != OBJID_CLIENT || link->window == nullptr) return 0;
  IAccessible* system = nullptr;
  if (FAILED(::CreateStdAccessibleObject(link->dialog, OBJID_CLIENT, __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&system)))) {
    return 0;
  }
  auto* dialog = new DialogAccessible(link, system);
  const LRESULT result = ::LresultFromObject(__uuidof(IAccessible), wParam, dialog);
  dialog->Release();
  return result;
}
