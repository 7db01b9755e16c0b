// The sample setup program. It takes a few seconds, installs the sample game
// into $ZK_GAME_DIR/ZKGame, writes the registry store values "Path" and
// "localfolder" under $ZK_REGISTRY_ROOT, and writes the game's list file
// (code page 949) with the files' recorded times. The installed files get
// later times, as an unpacker would leave them, for the installer to reset.
//
// ZK_SETUP_MODE picks a misbehaving variant for tests: "exit" (ends at once,
// doing nothing), "crash" (dies at once), "no-registry", "long-values"
// (values over 1024 bytes), "hostile-list" (a list that tries to leave the
// game's folder: absolute names, "..", a link to a file outside, very long
// lines, times past 64 bits, text after a zero byte), "giant-list" (a list
// file of 64 GiB that takes no disk space), "fifo-list" (a FIFO where the
// list belongs), "relative-path" (the value "Path" relative: "games"),
// "newline-value" (the value "localfolder" ends with a line break and text).
#include <iconv.h>
#include <fcntl.h>
#include <sys/stat.h>
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

}  // namespace

int main() {
  const std::string mode = Env("ZK_SETUP_MODE", "normal");
  if (mode == "exit") return 0;
  if (mode == "crash") std::abort();
  const fs::path registry = Env("ZK_REGISTRY_ROOT", "/var/lib/zk-registry");
  const fs::path gameRoot = Env("ZK_GAME_DIR", (Env("HOME", "/tmp") + "/ZKGames").c_str());
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
            " 1 \\data\\..\\..\\outside.txt\r\n" + t + " 1 \\escape.dat\r\n" + t + " 1 \\up\\outside.txt\r\n" +
            t + " 1 \\" + gameRoot.string() + "/outside.txt\r\n" + "99999999999999999999999 1 \\readme.txt\r\n" +
            t + " 1 \\" + std::string(200000, 'l') + "\r\n";
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
  return 0;
}
