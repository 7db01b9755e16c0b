#include "tests/workflow/WorkflowFixture.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "SelectLanguage/Messages.h"
#include "net/Files.h"
#include "net/Text.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

int TestWindow::OnInitDialog() {
  installation.Start();
  installation.Begin();
  host_.StartTimer(kTimerSetupWait, kTimerPeriodMs);
  return 1;
}

int64_t TestWindow::Dispatch(const DialogMessage& m) {
  if (closed) return 0;
  switch (m.id) {
    case kWmCommand:
      if (m.wParam == kCmdInstall) installation.Install(selection);
      if (m.wParam == kCmdClose) Close();
      return m.wParam == kCmdInstall || m.wParam == kCmdClose;
    case kWmTimer:
      host_.Invalidate();  // the window's repaint on every tick
      return installation.OnMessage(m);
    case kWmClose:
      closed = true;
      installation.Stop();
      host_.EndDialog();
      return 0;
    default: return IsWorkflowMessage(m.id) ? installation.OnMessage(m) : 0;
  }
}

std::vector<std::pair<uint64_t, uint64_t>> TestWindow::Downloaded() const {
  std::vector<std::pair<uint64_t, uint64_t>> figures;
  for (const InstallStatus& status : statuses) {
    if (status.phase == InstallPhase::kDownloading) figures.emplace_back(status.done, status.total);
  }
  return figures;
}

void WorkflowTest::SetUp() {
  fs::create_directories(Root() / "files" / "setup");
  ::setenv("ZK_REGISTRY_ROOT", (Root() / "registry").c_str(), 1);
  ::setenv("ZK_GAME_DIR", (Root() / "games").c_str(), 1);
  ::setenv("ZK_SETUP_SECONDS", "3", 1);
  ::unsetenv("ZK_SETUP_MODE");
  ::unsetenv("ZK_GAME_SECONDS");
  ::unsetenv("ZK_SETUP_HOPS");
  ::unsetenv("ZK_SETUP_EXIT");
  ::unsetenv("ZK_SETUP_SIGNAL");
  ServeSetup(ReadFileBytes(ZK_SAMPLE_SETUP));
  fs::remove(SetupFile());
}

void WorkflowTest::TearDown() {
  window_.reset();  // stops the workers before the sandbox goes
  fs::remove(SetupFile());
  fs::remove(SetupFile().string() + ".moved");  // where one setup variant moves its file
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
  InstallationTimings timings;
  timings.region = {std::chrono::milliseconds(0), std::chrono::milliseconds(2000)};
  timings.settingsRetryPause = settingsRetryPause;
  window_ = std::make_unique<TestWindow>(host_, timings);
  host_.Open(*window_);
}

void WorkflowTest::PressInstall() {
  ASSERT_TRUE(ConfigurationLoaded());
  host_.Send(kWmCommand, kCmdInstall);
}

void WorkflowTest::Install(const std::vector<std::string>& sandboxOptions) {
  StartInstaller(sandboxOptions);
  PressInstall();
}

bool WorkflowTest::GameStarted(std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!fs::exists(GameFolder() / "started.txt")) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

bool WorkflowTest::ConfigurationLoaded(std::chrono::milliseconds timeout) {
  return host_.RunUntil([this] { return Engine().Settings() != nullptr; }, timeout);
}

void WorkflowTest::ServeSetup(const std::string& bytes) {
  for (const char* language : {"EN", "SC", "TC", "RU", "JP"}) {
    const fs::path file = Root() / "files" / "setup" / (std::string("ZKSetup_") + language + ".exe");
    WriteFileBytes(file, bytes);
  }
}

bool WorkflowTest::ServeConfigValue(const std::string& key, const std::string& value) {
  // The sandbox's own configuration, "{{FILES_HOST}}" filled in by it.
  const std::vector<std::pair<std::string, std::string>> entries = {{"U_PATH_ZKEN", "http://{{FILES_HOST}}/setup/"},
                                                                    {"U_PATH_ZKSC", "http://{{FILES_HOST}}/setup/"},
                                                                    {"U_PATH_ZKTC", "http://{{FILES_HOST}}/setup/"},
                                                                    {"U_PATH_ZKRU", "http://{{FILES_HOST}}/setup/"},
                                                                    {"U_PATH_ZKJP", "http://{{FILES_HOST}}/setup/"},
                                                                    {"F_NAME_ZKEN", "ZKSetup_EN.exe"},
                                                                    {"F_NAME_ZKSC", "ZKSetup_SC.exe"},
                                                                    {"F_NAME_ZKTC", "ZKSetup_TC.exe"},
                                                                    {"F_NAME_ZKRU", "ZKSetup_RU.exe"},
                                                                    {"F_NAME_ZKJP", "ZKSetup_JP.exe"},
                                                                    {"F_NAME_Lst", "ZKGame.lst"},
                                                                    {"F_NAME_Game", "ZKGame.exe"},
                                                                    {"F_NAME_Update", "ZKUpdate.exe"},
                                                                    {"R_PATH_Root", "SOFTWARE\\ZKGame"},
                                                                    {"R_PATH_Game", "SOFTWARE\\ZKGame\\Game"}};
  std::string body;
  bool replaced = false;
  for (const auto& [name, text] : entries) {
    body += name + "=" + (name == key ? value : text) + "\r\n";
    replaced = replaced || name == key;
  }
  // Each setup program's checks, from the file served when the configuration is.
  for (const char* language : {"EN", "SC", "TC", "RU", "JP"}) {
    const std::string file = std::string("setup/ZKSetup_") + language + ".exe";
    const std::string hashKey = std::string("H_SHA2_ZK") + language;
    const std::string sizeKey = std::string("S_SIZE_ZK") + language;
    body += hashKey + "=" + (hashKey == key ? value : "{{SHA256:" + file + "}}") + "\r\n";
    body += sizeKey + "=" + (sizeKey == key ? value : "{{SIZE:" + file + "}}") + "\r\n";
    replaced = replaced || key == hashKey || key == sizeKey;
  }
  if (!replaced) body += key + "=" + value + "\r\n";  // a key the configuration has not: added
  return sandbox_.SetAnswer("config", body);
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
  return fs::path(Utf16ToBytesEscaped(folder)) / "_Set_UpZK.exe";
}

std::vector<WorkflowTest::GameStart> WorkflowTest::GameStarts() const {
  std::vector<GameStart> starts;
  std::ifstream in(GameFolder() / "started.txt");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    long long seconds = 0;
    std::string startedBy;
    GameStart start;
    if (fields >> seconds >> start.pid >> start.realtimeNs >> startedBy) {
      start.bySetup = startedBy == "setup";
      starts.push_back(start);
    }
  }
  return starts;
}

std::vector<WorkflowTest::SetupEnd> WorkflowTest::SetupEnds() const {
  std::vector<SetupEnd> ends;
  std::ifstream in(Root() / "games" / "setup-ended.txt");
  SetupEnd end;
  while (in >> end.realtimeNs >> end.pid) ends.push_back(end);
  return ends;
}
