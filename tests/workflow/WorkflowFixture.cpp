#include "tests/workflow/WorkflowFixture.h"

#include <cstdlib>

#include "net/Files.h"
#include "net/Text.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

void WorkflowTest::SetUp() {
  fs::create_directories(Root() / "files" / "setup");
  ::setenv("ZK_REGISTRY_ROOT", (Root() / "registry").c_str(), 1);
  ::setenv("ZK_GAME_DIR", (Root() / "games").c_str(), 1);
  ::setenv("ZK_SETUP_SECONDS", "3", 1);
  ::unsetenv("ZK_SETUP_MODE");
  ServeSetup(ReadFileBytes(ZK_SAMPLE_SETUP));
  fs::remove(SetupFile());
}

void WorkflowTest::TearDown() {
  dialog_.reset();  // stops the worker before the sandbox goes
  fs::remove(SetupFile());
}

void WorkflowTest::StartInstaller(const std::vector<std::string>& sandboxOptions,
                                  std::chrono::milliseconds settingsRetryPause) {
  ASSERT_TRUE(StartSandbox(sandboxOptions)) << "the sandbox services did not start";
  OpenInstaller(settingsRetryPause);
}

bool WorkflowTest::StartSandbox(const std::vector<std::string>& sandboxOptions) {
  std::vector<std::string> options = {"--files", (Root() / "files").string()};
  options.insert(options.end(), sandboxOptions.begin(), sandboxOptions.end());
  if (!sandbox_.Start(options)) return false;
  sandbox_.ExportEnvironment();
  return true;
}

void WorkflowTest::OpenInstaller(std::chrono::milliseconds settingsRetryPause) {
  DialogTimings timings;
  timings.region = {std::chrono::milliseconds(0), std::chrono::milliseconds(2000)};
  timings.settingsRetryPause = settingsRetryPause;
  dialog_ = std::make_unique<InstallerDialog>(host_, timings);
  host_.Open(*dialog_);
}

void WorkflowTest::ServeSetup(const std::string& bytes) {
  for (const char* language : {"EN", "SC", "TC", "RU", "JP"}) {
    const fs::path file = Root() / "files" / "setup" / (std::string("ZKSetup_") + language + ".exe");
    WriteFileBytes(file, bytes);
  }
}

std::u16string WorkflowTest::Log() const {
  const std::string bytes = ReadFileBytes(Root() / "ZK_Progress_Installer.log");
  return std::u16string(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
}

std::u16string WorkflowTest::Entries(std::initializer_list<std::u16string> texts) {
  std::u16string log;
  for (const auto& text : texts) log += u"\uFEFF" + text + u"\r\n";
  return log;
}

fs::path WorkflowTest::SetupFile() const {
  std::u16string folder;
  GetModuleDirectory(folder);
  return fs::path(Utf16ToUtf8(folder)) / "_Set_UpZK.exe";
}
