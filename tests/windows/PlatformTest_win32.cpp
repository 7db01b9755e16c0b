// The Win32 halves of the platform seams, on the real system (wine64 in CI):
// files and their sharing, file times, code page 949, the registry,
// program starts and the program's own resources.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "SelectLanguage/Registry.h"
#include "SelectLanguage/SetupProgram.h"
#include "net/Files.h"
#include "net/HeldFile.h"
#include "net/Processes.h"
#include "net/Text.h"
#include "resources/ProgramResources.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

std::u16string U16(const fs::path& path) {
  const std::wstring wide = path.wstring();
  return std::u16string(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
}

template <typename Predicate>
bool WaitFor(Predicate done, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// The test child program, copied to `target`.
void CopyTestChild(const fs::path& target) {
  std::u16string folder;
  ASSERT_GT(GetModuleDirectory(folder), 0);
  fs::copy_file(fs::path(std::wstring(folder.begin(), folder.end())) / ZK_TEST_CHILD, target);
}

}  // namespace

TEST(Win32Files, AnOpenHandleKeepsEveryOtherOpenOut) {
  TempDir dir;
  const std::u16string path = dir.U16("held.txt");
  FileHandle writer;
  ASSERT_EQ(writer.OpenForWrite(path), 1);
  ASSERT_EQ(writer.WriteExact("abc", 3), 1);
  FileHandle reader;
  EXPECT_EQ(reader.OpenForRead(path), -1);
  EXPECT_EQ(WriteFileEntry(path, "x", 1, EntryMode::kTruncate), 0);
  writer.Close();
  EXPECT_EQ(reader.OpenForRead(path), 3);
}

TEST(Win32Files, EntriesTruncateOrAppendOnlyToExistingFiles) {
  TempDir dir;
  const std::u16string path = dir.U16("log.txt");
  EXPECT_EQ(WriteFileEntry(path, "one", 3, EntryMode::kAppendExisting), 0);
  EXPECT_FALSE(fs::exists(dir.Path() / "log.txt"));
  ASSERT_EQ(WriteFileEntry(path, "one", 3, EntryMode::kTruncate), 1);
  ASSERT_EQ(WriteFileEntry(path, "two", 3, EntryMode::kAppendExisting), 1);
  EXPECT_EQ(ReadFileBytes(dir.Path() / "log.txt"), "onetwo");
  ASSERT_EQ(WriteFileEntry(path, "3", 1, EntryMode::kTruncate), 1);
  EXPECT_EQ(ReadFileBytes(dir.Path() / "log.txt"), "3");
}

// A second name planted where the installer creates a file is replaced, and
// an append never goes to a file that has another name.
TEST(Win32Files, CreatedFilesReplaceASecondNameAndAppendsRefuseOne) {
  TempDir dir;
  WriteFileBytes(dir.Path() / "victim.txt", "precious");
  for (const char* name : {"log.txt", "whole.txt"}) {
    ASSERT_TRUE(::CreateHardLinkW((dir.Path() / name).c_str(), (dir.Path() / "victim.txt").c_str(), nullptr));
  }
  ASSERT_EQ(WriteFileEntry(dir.U16("log.txt"), "one", 3, EntryMode::kTruncate), 1);
  ASSERT_EQ(WriteWholeFile(dir.U16("whole.txt"), "two", 3), 1);
  EXPECT_EQ(ReadFileBytes(dir.Path() / "victim.txt"), "precious");
  EXPECT_EQ(ReadFileBytes(dir.Path() / "log.txt"), "one");
  EXPECT_EQ(ReadFileBytes(dir.Path() / "whole.txt"), "two");

  ASSERT_TRUE(::CreateHardLinkW((dir.Path() / "second.txt").c_str(), (dir.Path() / "victim.txt").c_str(), nullptr));
  EXPECT_EQ(WriteFileEntry(dir.U16("second.txt"), "+", 1, EntryMode::kAppendExisting), 0);
  EXPECT_EQ(ReadFileBytes(dir.Path() / "victim.txt"), "precious");
}

TEST(Win32Files, OnlyADrivesRootOrAShareIsAbsolute) {
  EXPECT_TRUE(IsAbsolutePath(u"C:\\Games"));
  EXPECT_TRUE(IsAbsolutePath(u"d:/Games"));
  EXPECT_TRUE(IsAbsolutePath(u"\\\\server\\share\\Games"));
  EXPECT_FALSE(IsAbsolutePath(u"C:Games"));  // relative to the drive's current folder
  EXPECT_FALSE(IsAbsolutePath(u"\\Games"));  // relative to the current drive
  EXPECT_FALSE(IsAbsolutePath(u"Games"));
  EXPECT_FALSE(IsAbsolutePath(u""));
}

TEST(Win32Files, WholeFilesRoundTripAndTruncate) {
  TempDir dir;
  const std::u16string path = dir.U16("data.bin");
  ASSERT_EQ(WriteWholeFile(path, "0123456789", 10), 1);
  ASSERT_EQ(WriteWholeFile(path, "ab", 2), 1);
  std::vector<uint8_t> bytes;
  ASSERT_EQ(ReadWholeFile(path, bytes, 4, 100), 2);
  ASSERT_EQ(bytes.size(), 6u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 2), "ab");
  EXPECT_EQ(bytes[2], 0);
  EXPECT_EQ(ReadWholeFile(dir.U16("missing.bin"), bytes, 0, 100), -1);
}

TEST(Win32Files, ModificationTimesSurviveTheRoundTripToFileTime) {
  TempDir dir;
  WriteFileBytes(dir.Path() / "f.txt", "x");
  const std::u16string path = dir.U16("f.txt");
  for (const int64_t when : {int64_t{1000000000}, int64_t{4102444800} /* 2100, past 32 bits */, int64_t{86400}}) {
    SetFileModifiedTime(path, when);
    EXPECT_EQ(GetFileModifiedTime(path), std::optional<int64_t>(when));
  }
  EXPECT_FALSE(GetFileModifiedTime(dir.U16("missing.txt")).has_value());
  SetFileModifiedTime(dir.U16("missing.txt"), 5);  // silent
  EXPECT_FALSE(fs::exists(dir.Path() / "missing.txt"));
}

// A time whose tick count (100 ns since 1601) does not fit in 63 bits would
// wrap around and date the file anywhere: it is refused, the file keeps its
// time. Past 910,692,730,085 s (the year 30828) and before 1601.
TEST(Win32Files, TimesOutsideTheTickRangeLeaveTheFileAlone) {
  TempDir dir;
  WriteFileBytes(dir.Path() / "f.txt", "x");
  const std::u16string path = dir.U16("f.txt");
  SetFileModifiedTime(path, 1000000000);
  ASSERT_EQ(GetFileModifiedTime(path), std::optional<int64_t>(1000000000));
  for (const int64_t when : {int64_t{910692730086}, int64_t{INT64_MAX}, int64_t{-11644473601}, int64_t{INT64_MIN}}) {
    SetFileModifiedTime(path, when);
    EXPECT_EQ(GetFileModifiedTime(path), std::optional<int64_t>(1000000000)) << when;
  }
}

TEST(Win32Files, ModuleAndFolderHelpersUseBackslashes) {
  std::u16string module;
  ASSERT_GT(GetModulePath(module), 0);
  EXPECT_EQ(module.substr(module.size() - 4), u".exe");
  EXPECT_EQ(GetApplicationName(), u"win_unit_tests");
  std::u16string folder;
  ASSERT_GT(GetModuleDirectory(folder), 0);
  EXPECT_EQ(JoinPath(folder, u"win_unit_tests.exe"), module);
  std::u16string current;
  EXPECT_GT(GetCurrentDir(current), 0);
  EXPECT_EQ(kPathSeparator, u'\\');
}

TEST(Win32Text, CodePage949DecodesHangulAndKeepsAscii) {
  EXPECT_EQ(Cp949ToUtf16("\xC7\xD1\xB1\xB9\xBE\xEE"), u"한국어");
  EXPECT_EQ(Cp949ToUtf16("fName0=ZK_Setup.exe\r\n"), u"fName0=ZK_Setup.exe\r\n");
  EXPECT_EQ(Cp949ToUtf16(""), u"");
  // A lead byte without its trail byte never swallows what follows.
  const std::u16string cut = Cp949ToUtf16("a\xC7");
  ASSERT_FALSE(cut.empty());
  EXPECT_EQ(cut[0], u'a');
}

class Win32Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    key_ = L"Software\\ZKRegistryTest" + std::to_wstring(::GetCurrentProcessId());
    HKEY key = nullptr;
    ASSERT_EQ(
        ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    Set(key, L"Path", L"C:\\Program Files\\ZK Game");
    Set(key, L"Empty", L"");
    Set(key, L"Long", std::wstring(511, L'x'));  // 1024 bytes with its terminator
    Set(key, L"TooLong", std::wstring(512, L'x'));
    ::RegCloseKey(key);
  }
  void TearDown() override { ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, key_.c_str()); }

  static void Set(HKEY key, const wchar_t* name, const std::wstring& value) {
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }
  std::u16string SubKey() const { return std::u16string(key_.begin(), key_.end()); }

  std::wstring key_;
};

TEST_F(Win32Registry, ReadsValuesThatFitTheBuffer) {
  std::u16string value = u"untouched";
  ASSERT_TRUE(ReadRegistryValue(SubKey(), u"Path", value, 1024, RegistryRoot::kLocalMachine));
  EXPECT_EQ(value, u"C:\\Program Files\\ZK Game");
  ASSERT_TRUE(ReadRegistryValue(SubKey(), u"Empty", value, 1024, RegistryRoot::kLocalMachine));
  EXPECT_EQ(value, u"");
  ASSERT_TRUE(ReadRegistryValue(SubKey(), u"Long", value, 1024, RegistryRoot::kLocalMachine));
  EXPECT_EQ(value.size(), 511u);
}

TEST_F(Win32Registry, RefusesMissingAndOversizedValues) {
  std::u16string value = u"untouched";
  EXPECT_FALSE(ReadRegistryValue(SubKey(), u"TooLong", value, 1024, RegistryRoot::kLocalMachine));
  EXPECT_FALSE(ReadRegistryValue(SubKey(), u"Missing", value, 1024, RegistryRoot::kLocalMachine));
  EXPECT_FALSE(ReadRegistryValue(SubKey() + u"\\Nope", u"Path", value, 1024, RegistryRoot::kLocalMachine));
  EXPECT_EQ(value, u"untouched");
}

TEST(Win32Processes, AQuotedPathWithBlanksStartsThatProgramAndNoOther) {
  std::u16string folder;
  ASSERT_GT(GetModuleDirectory(folder), 0);
  const fs::path child = fs::path(std::wstring(folder.begin(), folder.end())) / ZK_TEST_CHILD;
  ASSERT_TRUE(fs::exists(child));
  TempDir dir;
  fs::create_directories(dir.Path() / "a b");
  const fs::path target = dir.Path() / "a b" / "child one.exe";
  const fs::path decoy = dir.Path() / "a.exe";  // what "...\a b\child one.exe" unquoted would start
  fs::copy_file(child, target);
  fs::copy_file(child, decoy);

  ASSERT_TRUE(StartProgram(U16(target)));
  const fs::path ran = fs::path(target.wstring() + L".ran");
  ASSERT_TRUE(WaitFor([&] { return fs::exists(ran) && fs::file_size(ran) > 0; }, std::chrono::seconds(10)));
  // The file of a running program cannot be deleted: that is how the window
  // learns that the setup program has ended.
  EXPECT_FALSE(DeleteFilePath(U16(target)));
  EXPECT_TRUE(WaitFor([&] { return DeleteFilePath(U16(target)); }, std::chrono::seconds(10)));
  EXPECT_FALSE(fs::exists(target));
  EXPECT_FALSE(fs::exists(fs::path(decoy.wstring() + L".ran")));
}

// A program runs while a process's image is its very file: a copy of the
// same bytes elsewhere has another file ID.
TEST(Win32Processes, AProgramRunsWhileAProcessRunsItsVeryFile) {
  TempDir dir;
  const fs::path game = dir.Path() / "game.exe";
  CopyTestChild(game);
  fs::copy_file(game, dir.Path() / "twin.exe");
  EXPECT_FALSE(ProgramRuns(U16(game)));
  ASSERT_TRUE(StartProgram(U16(game)));
  const fs::path ran = fs::path(game.wstring() + L".ran");
  ASSERT_TRUE(WaitFor([&] { return fs::exists(ran) && fs::file_size(ran) > 0; }, std::chrono::seconds(10)));
  EXPECT_TRUE(ProgramRuns(U16(game)));
  EXPECT_FALSE(ProgramRuns(dir.U16("twin.exe")));
  EXPECT_TRUE(WaitFor([&] { return !ProgramRuns(U16(game)); }, std::chrono::seconds(10)));
  EXPECT_FALSE(ProgramRuns(dir.U16("missing.exe")));
  EXPECT_FALSE(ProgramRuns(u""));
}

TEST(Win32Processes, AMissingProgramDoesNotStart) {
  TempDir dir;
  EXPECT_FALSE(StartProgram(dir.U16("missing.exe")));
  EXPECT_FALSE(StartProgram(u""));
  EXPECT_TRUE(MakeExecutable(dir.U16("anything.exe")));
}

// A setup program that starts its own file again and ends at once: its exit
// code comes at once, its file stays in use until the copy has ended.
TEST(Win32SetupProgram, ACopyStartedFromTheFileHoldsItUntilTheCopyEnds) {
  TempDir dir;
  const fs::path target = dir.Path() / "set up.exe";
  CopyTestChild(target);
  std::atomic<int> calls{0};
  ::SetEnvironmentVariableW(L"ZK_TEST_CHILD_RELAUNCH", L"1");
  auto setup = SetupProgram::Start(U16(target), [&] { ++calls; });
  ::SetEnvironmentVariableW(L"ZK_TEST_CHILD_RELAUNCH", nullptr);
  ASSERT_NE(setup, nullptr);
  ASSERT_TRUE(WaitFor([&] { return calls.load() > 0; }, std::chrono::seconds(10)));
  EXPECT_EQ(setup->ExitCode(), 7);
  const fs::path ran = fs::path(target.wstring() + L".ran");
  ASSERT_TRUE(WaitFor([&] { return fs::exists(ran) && fs::file_size(ran) > 0; }, std::chrono::seconds(10)));
  EXPECT_FALSE(setup->RemoveFile());  // the copy runs it
  EXPECT_TRUE(fs::exists(target));
  EXPECT_TRUE(WaitFor([&] { return setup->RemoveFile(); }, std::chrono::seconds(10)));
  EXPECT_FALSE(fs::exists(target));
  EXPECT_TRUE(setup->RemoveFile());  // already gone is gone
  setup.reset();
  EXPECT_EQ(calls.load(), 1);
}

// The download's own handle closed, the checked file is reopened, compared
// and started; a file put at its name meanwhile (another program, moved over
// it) is not started, and says so.
TEST(Win32SetupProgram, OnlyTheCheckedFileStarts) {
  std::u16string folder;
  ASSERT_GT(GetModuleDirectory(folder), 0);
  const std::string program = ReadFileBytes(fs::path(std::wstring(folder.begin(), folder.end())) / ZK_TEST_CHILD);
  TempDir dir;
  const fs::path target = dir.Path() / "_Set_UpZK.exe";
  const fs::path decoy = dir.Path() / "decoy.exe";
  // Written as the download writes it, and held before its handle closes.
  const auto written = [&] {
    HeldFile held;
    const HANDLE file = ::CreateFileW(target.wstring().c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    EXPECT_TRUE(::WriteFile(file, program.data(), static_cast<DWORD>(program.size()), &put, nullptr));
    EXPECT_TRUE(held.Take(reinterpret_cast<intptr_t>(file)));
    ::CloseHandle(file);
    EXPECT_TRUE(held.Confirm(U16(target)));
    return held;
  };

  HeldFile held = written();
  fs::copy_file(target, decoy);
  ASSERT_TRUE(::MoveFileExW(decoy.wstring().c_str(), target.wstring().c_str(), MOVEFILE_REPLACE_EXISTING));
  bool replaced = false;
  EXPECT_EQ(SetupProgram::Start(U16(target), std::move(held), replaced), nullptr);
  EXPECT_TRUE(replaced);
  ::Sleep(500);
  EXPECT_FALSE(fs::exists(fs::path(target.wstring() + L".ran"))) << "the file put at its name ran";

  ASSERT_TRUE(fs::remove(target));
  held = written();
  auto setup = SetupProgram::Start(U16(target), std::move(held), replaced);
  ASSERT_NE(setup, nullptr);
  EXPECT_FALSE(replaced);
  const fs::path ran = fs::path(target.wstring() + L".ran");
  EXPECT_TRUE(WaitFor([&] { return fs::exists(ran) && fs::file_size(ran) > 0; }, std::chrono::seconds(10)));
  EXPECT_TRUE(WaitFor([&] { return setup->RemoveFile(); }, std::chrono::seconds(10)));
}

TEST(Win32SetupProgram, NothingStartsFromAMissingFile) {
  TempDir dir;
  EXPECT_EQ(SetupProgram::Start(dir.U16("missing.exe")), nullptr);
  EXPECT_EQ(SetupProgram::Start(u""), nullptr);
}

// Besides 0, the two exit codes that ask for a restart are success; no other.
TEST(Win32SetupProgram, OnlyZeroAndTheRestartCodesAreSuccess) {
  TempDir dir;
  const fs::path target = dir.Path() / "_Set_UpZK.exe";
  CopyTestChild(target);
  struct Case {
    const wchar_t* code;
    int exitCode;
    bool success;
  };
  const Case cases[] = {{L"3010", 3010, true}, {L"1641", 1641, true}, {L"3", 3, false}};
  for (const Case& c : cases) {
    ::SetEnvironmentVariableW(L"ZK_TEST_CHILD_EXIT", c.code);
    auto setup = SetupProgram::Start(U16(target));
    ::SetEnvironmentVariableW(L"ZK_TEST_CHILD_EXIT", nullptr);
    ASSERT_NE(setup, nullptr);
    ASSERT_TRUE(WaitFor([&] { return setup->ExitCode().has_value(); }, std::chrono::seconds(10)));
    EXPECT_EQ(setup->ExitCode(), c.exitCode);
    EXPECT_EQ(SetupProgram::Succeeded(*setup->ExitCode()), c.success) << c.exitCode;
  }
}

// The installer closed while its setup runs: the file cannot go before the
// setup does, so it is marked for removal at the next restart, and the
// installer's next start removes it once nothing runs it.
TEST(Win32SetupProgram, AFileStillRunningGoesAtTheRestartOrTheNextStart) {
  TempDir dir;
  const fs::path target = dir.Path() / "_Set_UpZK.exe";
  CopyTestChild(target);
  auto setup = SetupProgram::Start(U16(target));
  ASSERT_NE(setup, nullptr);
  const fs::path ran = fs::path(target.wstring() + L".ran");
  ASSERT_TRUE(WaitFor([&] { return fs::exists(ran) && fs::file_size(ran) > 0; }, std::chrono::seconds(10)));
  const std::atomic<bool> stop{false};
  EXPECT_FALSE(SetupProgram::RemoveLeftover(U16(target), stop)) << "a running program's file was removed";
  EXPECT_TRUE(setup->Abandon()) << "not marked for removal at the restart";
  EXPECT_TRUE(fs::exists(target));
  setup.reset();
  EXPECT_TRUE(WaitFor([&] { return SetupProgram::RemoveLeftover(U16(target), stop); }, std::chrono::seconds(10)));
  EXPECT_FALSE(fs::exists(target));
}

TEST(Win32Resources, TheResourceSectionHoldsTheProgramsResources) {
  const auto languages = FindProgramResource(u"TxtFile", kResourceLanguageList);
  ASSERT_GE(languages.size(), 2u);
  EXPECT_EQ(languages[0], 0xFF);  // UTF-16 little endian with its byte-order mark
  EXPECT_EQ(languages[1], 0xFE);
  const auto sprites = FindProgramResource(u"MTO", kResourceSpriteFile);
  EXPECT_EQ(sprites.size(), fs::file_size(fs::path(ZK_RESOURCES_DIR) / "installer.mto"));
  EXPECT_FALSE(FindProgramResource(u"ICON", kResourceIcon).empty());
  EXPECT_TRUE(FindProgramResource(u"MTO", 999).empty());
  EXPECT_TRUE(FindProgramResource(u"NoSuchType", kResourceLanguageList).empty());
  EXPECT_EQ(LoadProgramString(kResourceAboutString), u"ZK Zirod Installer 정보(&A)...");
  EXPECT_EQ(LoadProgramString(4321), u"");
}
