// The children of a window's accessible object, as a screen reader reads
// them: each one's name, role and state, and its object when asked for.
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <string>
#include <vector>

struct AccessibleChild {
  std::wstring name;
  LONG role = 0;
  LONG state = 0;
};

inline VARIANT SelfChild() {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = CHILDID_SELF;
  return v;
}

// The children of `window`'s client object; the object of the one named
// `wanted` goes to `found` (the caller releases it).
inline std::vector<AccessibleChild> ReadAccessibleChildren(HWND window, const wchar_t* wanted = nullptr,
                                                           IAccessible** found = nullptr) {
  std::vector<AccessibleChild> children;
  IAccessible* root = nullptr;
  if (FAILED(::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&root)))) {
    return children;
  }
  LONG count = 0;
  root->get_accChildCount(&count);
  std::vector<VARIANT> objects(static_cast<std::size_t>(count));
  LONG got = 0;
  ::AccessibleChildren(root, 0, count, objects.data(), &got);
  for (LONG i = 0; i < got; ++i) {
    AccessibleChild child;
    IAccessible* object = nullptr;
    if (objects[i].vt == VT_DISPATCH && objects[i].pdispVal != nullptr) {
      objects[i].pdispVal->QueryInterface(__uuidof(IAccessible), reinterpret_cast<void**>(&object));
    }
    ::VariantClear(&objects[i]);
    if (object == nullptr) continue;
    BSTR name = nullptr;
    if (object->get_accName(SelfChild(), &name) == S_OK && name != nullptr) child.name = name;
    ::SysFreeString(name);
    VARIANT value;
    ::VariantInit(&value);
    if (object->get_accRole(SelfChild(), &value) == S_OK && value.vt == VT_I4) child.role = value.lVal;
    ::VariantInit(&value);
    if (object->get_accState(SelfChild(), &value) == S_OK && value.vt == VT_I4) child.state = value.lVal;
    if (found != nullptr && wanted != nullptr && child.name == wanted && *found == nullptr) {
      *found = object;
    } else {
      object->Release();
    }
    children.push_back(child);
  }
  root->Release();
  return children;
}
