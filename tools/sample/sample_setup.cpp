// The sample setup program. It takes a few seconds, installs the sample game
// into $ZK_GAME_DIR/ZKGame, writes the registry store values "Path" and
// "localfolder" under $ZK_REGISTRY_ROOT, and writes the game's list file
// (code page 949) with the files' recorded times. The installed files get
// later times, as an unpacker would leave them, for the installer to reset.
// As its last act every process of it appends "<CLOCK_REALTIME ns> <pid>" to
// $ZK_GAME_DIR/setup-ended.txt.
//
// ZK_SETUP_MODE picks a misbehaving variant for tests: "exit" (ends at once,
// doing nothing), "crash" (dies at once), "no-registry", "long-values"
// (values over 1024 bytes), "hostile-list" (a list that tries to leave the
// game's folder: absolute names, "..", a link to a file outside, very long
// lines, times past 64 bits, text after a zero byte), "giant-list" (a list
// file of 64 GiB that takes no disk space), "fifo-list" (a FIFO where the
// list belongs), "relative-path" (the value "Path" relative: "games"),
// "newline-value" (the value "localfolder" ends with a line break and text).
// Variants that end before the installation does: "relaunch" (starts its own
// file again, detached in a new session, and ends at once; the copy
// installs, or with $ZK_SETUP_HOPS relaunches again), "relaunch-moved" (the
// same from its file renamed to "<file>.moved"), "replace" (removes its file
// and writes another file of that name, then installs), "self-delete"
// (removes its file, then installs), "start-game" (installs, starts the
// installed game with ZK_STARTED_BY=setup and ends; the game runs on for
// $ZK_GAME_SECONDS), "outside" (asks a process outside the installer's tree,
// which reads file names from the FIFO $ZK_SETUP_SERVICE, to start its own
// file again, and ends at once). Whatever the mode, $ZK_SETUP_EXIT sets the
// code it ends with, and $ZK_SETUP_SIGNAL a signal that ends it instead,
// after its end stamp.
#include <iconv.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/EmbeddedResources.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

// Matches the configuration that the sandbox serves.
constexpr const char* kRootKey = "SOFTWARE/ZKGame";
constexpr const char* kGameKey = "SOFTWARE/ZKGame/Game";
constexpr const char* kGameFolder = "ZKGame";
constexpr const char* kListName = "ZKGame.lst";
constexpr long long kRecordedTime = 1700000000;  // 2023-11-14 22:13:20 UTC

std::string Env(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? value : fallback;
}

bool WriteFile(const fs::path& path, const std::string& bytes) {
  std::error_code ignored;
  fs::create_directories(path.parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

void SetTime(const fs::path& path, long long seconds) {
  timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(seconds);
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

std::string ToCp949(const std::string& utf8) {
  iconv_t cd = iconv_open("CP949", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return utf8;
  std::string in = utf8;
  std::string out(in.size() * 2 + 16, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  std::size_t inLeft = in.size();
  std::size_t outLeft = out.size();
  iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

std::string GamePayload() {
  for (unsigned i = 0; i < kEmbeddedResourceCount; ++i) {
    if (kEmbeddedResources[i].id == 1) {
      return std::string(reinterpret_cast<const char*>(kEmbeddedResources[i].data), kEmbeddedResources[i].size);
    }
  }
  return {};
}

std::string OwnFile() {
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  return n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string();
}

// Starts `file` again as a process of its own: a child in a new session
// whose parent ends at once, so nothing of this process waits for it. With
// $ZK_SETUP_HOPS above 0 the copy does the same again, that many times.
void StartDetached(const std::string& file) {
  if (::fork() != 0) return;
  ::setsid();
  if (::fork() == 0) {
    const int hops = std::atoi(Env("ZK_SETUP_HOPS", "0").c_str());
    ::setenv("ZK_SETUP_HOPS", std::to_string(hops - 1).c_str(), 1);
    if (hops <= 0) ::setenv("ZK_SETUP_MODE", "normal", 1);
    char* argv[] = {const_cast<char*>(file.c_str()), nullptr};
    ::execv(file.c_str(), argv);
  }
  ::_exit(0);
}

void AppendEndStamp(const fs::path& gameRoot) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
  std::error_code ignored;
  fs::create_directories(gameRoot, ignored);
  std::ofstream(gameRoot / "setup-ended.txt", std::ios::app) << ns << ' ' << ::getpid() << '\n';
}

int Install(const std::string& mode, const fs::path& gameRoot) {
  if (mode == "exit") return 0;
  if (mode == "crash") std::abort();
  const std::string self = OwnFile();
  if (mode == "relaunch") {
    StartDetached(self);
    return 0;
  }
  if (mode == "outside") {
    std::ofstream(Env("ZK_SETUP_SERVICE", "/nonexistent")) << self << '\n';
    return 0;
  }
  if (mode == "relaunch-moved") {
    std::error_code ignored;
    fs::rename(self, self + ".moved", ignored);
    StartDetached(self + ".moved");
    return 0;
  }
  if (mode == "replace" || mode == "self-delete") ::unlink(self.c_str());
  if (mode == "replace") WriteFile(self, "#!/bin/sh\nexit 0\n");
  const fs::path registry = Env("ZK_REGISTRY_ROOT", "/var/lib/zk-registry");
  const int seconds = std::atoi(Env("ZK_SETUP_SECONDS", "3").c_str());
  std::this_thread::sleep_for(std::chrono::seconds(seconds));

  const fs::path game = gameRoot / kGameFolder;
  const std::string payload = GamePayload();
  if (payload.empty() || !WriteFile(game / "ZKUpdate.exe", payload) || !WriteFile(game / "ZKGame.exe", payload)) {
    return 2;
  }
  ::chmod((game / "ZKUpdate.exe").c_str(), 0755);
  ::chmod((game / "ZKGame.exe").c_str(), 0755);
  WriteFile(game / "data" / "카드.dat", "cards");
  WriteFile(game / "data" / "table.dat", "table");
  WriteFile(game / "readme.txt", "ZK Zirod sample game");

  // As unpacked: one hour after the recorded time (reset), 30 s after
  // (kept), 1000 s before (reset).
  SetTime(game / "ZKGame.exe", kRecordedTime + 3600);
  SetTime(game / "data" / "카드.dat", kRecordedTime + 3600);
  SetTime(game / "data" / "table.dat", kRecordedTime + 30);
  SetTime(game / "readme.txt", kRecordedTime - 1000);

  const std::string t = std::to_string(kRecordedTime);
  std::string list = t + " 1 \\ZKGame.exe\r\n" + t + " 2 \\data\\카드.dat\r\n" + t + " 1 \\data\\table.dat\r\n" +
                     "# not a file line\r\n" + t + " 1 \\readme.txt";
  std::string tail;
  if (mode == "hostile-list") {
    // outside.txt lies next to the game's folder, with a time the rules would reset.
    WriteFile(gameRoot / "outside.txt", "not the game's");
    SetTime(gameRoot / "outside.txt", kRecordedTime + 3600);
    std::error_code ignored;
    fs::remove(game / "escape.dat", ignored);
    fs::create_symlink(gameRoot / "outside.txt", game / "escape.dat", ignored);
    fs::remove(game / "up", ignored);
    fs::create_directory_symlink(gameRoot, game / "up", ignored);
    list += "\r\n" + t + " 1 \\..\\outside.txt\r\n" + t + " 1 \\\\etc\\passwd\r\n" + t +
            " 1 \\data\\..\\..\\outside.txt\r\n" + t + " 1 \\escape.dat\r\n" + t + " 1 \\up\\outside.txt\r\n" + t +
            " 1 \\" + gameRoot.string() + "/outside.txt\r\n" + "99999999999999999999999 1 \\readme.txt\r\n" + t +
            " 1 \\" + std::string(200000, 'l') + "\r\n";
    // Past the zero byte: a line that would move table.dat back 90 s.
    tail = std::string(1, '\0') + "\r\n" + std::to_string(kRecordedTime - 90) + " 1 \\data\\table.dat\r\n";
  }
  WriteFile(game / kListName, ToCp949(list) + tail);
  if (mode == "giant-list" || mode == "fifo-list") {
    std::error_code ignored;
    fs::remove(game / kListName, ignored);
    if (mode == "fifo-list") ::mkfifo((game / kListName).c_str(), 0644);
    const int fd = mode == "giant-list" ? ::open((game / kListName).c_str(), O_WRONLY | O_CREAT, 0644) : -1;
    if (fd >= 0 && ::ftruncate(fd, off_t{64} << 30) != 0) return 4;
    if (fd >= 0) ::close(fd);
  }

  if (mode == "no-registry") return 0;
  std::string folderValue = game.parent_path().string();
  std::string localFolder = kGameFolder;
  if (mode == "long-values") localFolder = std::string(600, 'x');
  if (mode == "relative-path") folderValue = game.parent_path().filename().string();
  if (mode == "newline-value") localFolder += "\r\nIt has been successfully installed.";
  WriteFile(registry / "HKEY_LOCAL_MACHINE" / kRootKey / "Path", folderValue);
  WriteFile(registry / "HKEY_LOCAL_MACHINE" / kGameKey / "localfolder", localFolder);
  if (mode == "start-game") {
    const std::string gameFile = (game / "ZKUpdate.exe").string();
    char* argv[] = {const_cast<char*>(gameFile.c_str()), nullptr};
    ::setenv("ZK_STARTED_BY", "setup", 1);
    pid_t pid = 0;
    ::posix_spawn(&pid, gameFile.c_str(), nullptr, nullptr, argv, environ);
  }
  return 0;
}

}  // namespace

int main() {
  const fs::path gameRoot = Env("ZK_GAME_DIR", (Env("HOME", "/tmp") + "/ZKGames").c_str());
  const int code = Install(Env("ZK_SETUP_MODE", "normal"), gameRoot);
  AppendEndStamp(gameRoot);
  if (const int signal = std::atoi(Env("ZK_SETUP_SIGNAL", "0").c_str()); signal > 0) ::raise(signal);
  return std::atoi(Env("ZK_SETUP_EXIT", std::to_string(code).c_str()).c_str());
}
