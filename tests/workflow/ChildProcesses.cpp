#include "tests/workflow/ChildProcesses.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct StatFields {
  char state = '?';
  pid_t parent = 0;
};

// State and parent from /proc/<pid>/stat, read after the name's last ')'.
bool ReadStat(const std::string& pid, StatFields& fields) {
  std::ifstream in("/proc/" + pid + "/stat");
  std::string line;
  if (!std::getline(in, line)) return false;
  const auto nameEnd = line.rfind(')');
  if (nameEnd == std::string::npos) return false;
  std::istringstream rest(line.substr(nameEnd + 1));
  return static_cast<bool>(rest >> fields.state >> fields.parent);
}

}  // namespace

std::vector<pid_t> ZombieChildren() {
  std::vector<pid_t> zombies;
  const pid_t self = ::getpid();
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    StatFields fields;
    if (ReadStat(name, fields) && fields.parent == self && fields.state == 'Z') zombies.push_back(std::stoi(name));
  }
  return zombies;
}

bool IsRunning(pid_t pid) {
  StatFields fields;
  return ReadStat(std::to_string(pid), fields) && fields.state != 'Z';
}
