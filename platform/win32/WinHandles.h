// Owning wrappers for the Win32 handles that the platform files open.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <wininet.h>

#include <memory>
#include <type_traits>

struct KernelHandleCloser {
  void operator()(HANDLE h) const {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
};
using KernelHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, KernelHandleCloser>;

// HINTERNET handles of every level close the same way.
struct InternetHandleCloser {
  void operator()(HINTERNET h) const {
    if (h != nullptr) ::InternetCloseHandle(h);
  }
};
using InternetHandle = std::unique_ptr<std::remove_pointer_t<HINTERNET>, InternetHandleCloser>;

struct RegistryKeyCloser {
  void operator()(HKEY key) const {
    if (key != nullptr) ::RegCloseKey(key);
  }
};
using RegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegistryKeyCloser>;
