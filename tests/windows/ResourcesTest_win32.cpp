// What the build writes into the resource script: the version resource and
// the About box show the build's version (resources/ProgramVersion.h), and the
// About item's text is string101.txt's, byte for byte.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "net/Text.h"
#include "resources/ProgramResources.h"
#include "resources/ProgramVersion.h"

namespace {

std::wstring Widen(const char* ascii) { return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii)); }

// This program's own version resource; empty when it has none.
std::vector<char> OwnVersionInfo() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return {};
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
  std::vector<char> info(size);
  if (size == 0 || !::GetFileVersionInfoW(path, 0, size, info.data())) return {};
  return info;
}

std::wstring VersionString(std::vector<char>& info, const wchar_t* name) {
  wchar_t* value = nullptr;
  UINT chars = 0;
  const std::wstring key = std::wstring(L"\\StringFileInfo\\041204B0\\") + name;
  if (!::VerQueryValueW(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &chars) || chars == 0) return L"";
  return std::wstring(value, chars - 1);  // the count includes the terminating zero
}

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

std::vector<std::wstring> ChildTexts(HWND window) {
  std::vector<std::wstring> texts;
  for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t text[256] = {};
    ::GetWindowTextW(child, text, 256);
    texts.emplace_back(text);
  }
  return texts;
}

}  // namespace

TEST(Win32Version, TheVersionResourceCarriesTheBuildsVersion) {
  std::vector<char> info = OwnVersionInfo();
  ASSERT_FALSE(info.empty());
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  ASSERT_GE(size, sizeof(VS_FIXEDFILEINFO));
  const DWORD high = MAKELONG(ZK_VERSION_MINOR, ZK_VERSION_MAJOR);
  const DWORD low = MAKELONG(ZK_VERSION_TWEAK, ZK_VERSION_PATCH);
  EXPECT_EQ(fixed->dwFileVersionMS, high);
  EXPECT_EQ(fixed->dwFileVersionLS, low);
  EXPECT_EQ(fixed->dwProductVersionMS, high);
  EXPECT_EQ(fixed->dwProductVersionLS, low);
  EXPECT_EQ(VersionString(info, L"FileVersion"), Widen(ZK_VERSION_STRING));
  EXPECT_EQ(VersionString(info, L"ProductVersion"), Widen(ZK_VERSION_STRING));
  EXPECT_EQ(VersionString(info, L"ProductName"), L"ZK Zirod Installer");
}

TEST(Win32Version, TheAboutBoxNamesTheBuildsVersion) {
  const HWND box = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kResourceAboutBox), nullptr,
                                        QuietDialogProc, 0);
  ASSERT_NE(box, nullptr);
  const std::vector<std::wstring> texts = ChildTexts(box);
  ::DestroyWindow(box);
  const std::wstring expected = L"ZK Zirod Installer, version " + Widen(ZK_VERSION_STRING);
  EXPECT_NE(std::find(texts.begin(), texts.end(), expected), texts.end()) << "no line reads the version";
  EXPECT_NE(std::find(texts.begin(), texts.end(), L"Copyright (C) 2026"), texts.end());
}

TEST(Win32Strings, TheAboutItemsTextIsItsFilesText) {
  std::ifstream file(std::string(ZK_RESOURCES_DIR) + "/string101.txt", std::ios::binary);
  ASSERT_TRUE(file.is_open());
  const std::string utf8{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  ASSERT_FALSE(utf8.empty());
  EXPECT_EQ(LoadProgramString(kResourceAboutString), Utf8ToUtf16(utf8));
}
