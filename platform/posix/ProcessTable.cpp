// The processes and their files, from /proc alone (see ProcessTable.h).
#include "platform/posix/ProcessTable.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/kcmp.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/posix/PosixFd.h"

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// A line of /proc longer than this (a mapped file's name is at most
// PATH_MAX) is no line this file needs; it is skipped.
constexpr std::size_t kMaxLine = 16384;

std::string ProcPath(pid_t pid, const char* what) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/%s", static_cast<int>(pid), what);
  return path;
}

// A process that is gone lists nothing; one this process may not look at
// is unknown.
Finding MissingOr(int error) { return error == ENOENT || error == ESRCH ? Finding::kNo : Finding::kUnknown; }

// Calls `line` for each line of `fd` until it returns true (found) or the
// file ends. True when a line was found.
bool FindLine(int fd, const std::function<bool(std::string_view)>& line) {
  std::string carry;
  char chunk[16384];
  bool skipping = false;  // inside a line that was too long
  for (;;) {
    const ssize_t got = RetryInterrupted([&] { return ::read(fd, chunk, sizeof chunk); });
    if (got <= 0) return false;
    std::string_view data(chunk, static_cast<std::size_t>(got));
    for (std::size_t end; (end = data.find('\n')) != std::string_view::npos; data.remove_prefix(end + 1)) {
      if (!skipping) {
        carry.append(data.substr(0, end));
        if (line(carry)) return true;
      }
      carry.clear();
      skipping = false;
    }
    if (!skipping) carry.append(data);
    if (carry.size() > kMaxLine) {
      carry.clear();
      skipping = true;
    }
  }
}

// The next blank-separated field of `rest`, taken off its front.
std::string_view NextField(std::string_view& rest) {
  const std::size_t begin = std::min(rest.find_first_not_of(' '), rest.size());
  rest.remove_prefix(begin);
  const std::size_t end = std::min(rest.find(' '), rest.size());
  const std::string_view field = rest.substr(0, end);
  rest.remove_prefix(end);
  return field;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number& value, int base = 10) {
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value, base);
  return error == std::errc() && end == last && !text.empty();
}

// "major:minor", in hexadecimal in maps and in decimal in mountinfo.
bool ParseDevice(std::string_view text, dev_t& device, int base) {
  const std::size_t colon = text.find(':');
  unsigned int major = 0;
  unsigned int minor = 0;
  if (colon == std::string_view::npos || !ParseNumber(text.substr(0, colon), major, base) ||
      !ParseNumber(text.substr(colon + 1), minor, base)) {
    return false;
  }
  device = makedev(major, minor);
  return true;
}

struct Mapping {
  unsigned long long begin = 0;
  unsigned long long end = 0;
  KernelFileId file;
};

// "begin-end perms offset major:minor inode [name]"
bool ParseMapping(std::string_view line, Mapping& mapping) {
  const std::string_view range = NextField(line);
  const std::size_t dash = range.find('-');
  if (dash == std::string_view::npos || !ParseNumber(range.substr(0, dash), mapping.begin, 16) ||
      !ParseNumber(range.substr(dash + 1), mapping.end, 16)) {
    return false;
  }
  NextField(line);  // permissions
  NextField(line);  // offset
  return ParseDevice(NextField(line), mapping.file.device, 16) && ParseNumber(NextField(line), mapping.file.inode);
}

// The file mapped at `address` in the memory that `mapsPath` lists; when
// there is none, `error` says why (0: nothing is mapped there).
std::optional<KernelFileId> MappingAt(const std::string& mapsPath, unsigned long long address, int& error) {
  const UniqueFd maps(::open(mapsPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!maps) {
    error = errno;
    return std::nullopt;
  }
  Mapping found;
  const bool has = FindLine(maps.Get(), [&](std::string_view line) {
    Mapping mapping;
    if (!ParseMapping(line, mapping) || address < mapping.begin || address >= mapping.end) return false;
    found = mapping;
    return true;
  });
  error = 0;
  return has ? std::optional(found.file) : std::nullopt;
}

// The device of the file system mounted as `mountId` in `pid`'s view.
std::optional<dev_t> MountDevice(const std::string& mountInfoPath, unsigned long long mountId) {
  const UniqueFd info(::open(mountInfoPath.c_str(), O_RDONLY | O_CLOEXEC));
  if (!info) return std::nullopt;
  dev_t device = 0;
  const bool found = FindLine(info.Get(), [&](std::string_view line) {
    unsigned long long id = 0;
    if (!ParseNumber(NextField(line), id) || id != mountId) return false;
    NextField(line);  // the parent's id
    return ParseDevice(NextField(line), device, 10);
  });
  return found ? std::optional(device) : std::nullopt;
}

// What one descriptor's fdinfo names: the mount and the inode.
struct FdInfo {
  unsigned long long mountId = 0;
  ino_t inode = 0;
};

// kNo when the descriptor was closed meanwhile; kUnknown when the kernel
// lists no inode there (before Linux 5.14).
Finding ReadFdInfo(int fdinfoFolder, const char* name, FdInfo& info) {
  const UniqueFd fd(::openat(fdinfoFolder, name, O_RDONLY | O_CLOEXEC));
  if (!fd) return MissingOr(errno);
  // The fields needed come first; what follows (locks, watches) may be long.
  char buffer[512];
  const ssize_t got = RetryInterrupted([&] { return ::read(fd.Get(), buffer, sizeof buffer); });
  if (got <= 0) return got == 0 ? Finding::kNo : MissingOr(errno);
  std::string_view text(buffer, static_cast<std::size_t>(got));
  bool hasMount = false;
  bool hasInode = false;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == '\t' || value.front() == ' ')) value.remove_prefix(1);
    if (key == "mnt_id") hasMount = ParseNumber(value, info.mountId);
    if (key == "ino") hasInode = ParseNumber(value, info.inode);
  }
  return hasMount && hasInode ? Finding::kYes : Finding::kUnknown;
}

bool Contains(const KernelFileIds& files, const KernelFileId& file) {
  return std::find(files.begin(), files.end(), file) != files.end();
}

bool NamesInode(const KernelFileIds& files, ino_t inode) {
  return std::any_of(files.begin(), files.end(), [inode](const KernelFileId& f) { return f.inode == inode; });
}

// Whether `pid`'s descriptor `fd` is the very open file of this process's
// `handedDown`: a descriptor inherited, not opened.
bool SharesOpenFile(pid_t pid, int fd, int handedDown) {
  if (handedDown < 0) return false;
  return ::syscall(SYS_kcmp, ::getpid(), pid, KCMP_FILE, handedDown, fd) == 0;
}

}  // namespace

std::optional<ProcessEntry> ReadProcess(pid_t pid) {
  const UniqueFd fd(::open(ProcPath(pid, "stat").c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return std::nullopt;
  char buffer[4096];
  const ssize_t n = RetryInterrupted([&] { return ::read(fd.Get(), buffer, sizeof buffer); });
  if (n <= 0) return std::nullopt;
  std::string_view text(buffer, static_cast<std::size_t>(n));
  // The command name in parentheses may hold blanks and parentheses itself,
  // so the fields are counted after its last ')'.
  const std::size_t nameEnd = text.rfind(')');
  if (nameEnd == std::string_view::npos) return std::nullopt;
  text.remove_prefix(nameEnd + 1);
  // From the third field (the state) on: the fourth is the parent, the 22nd
  // the start, the 26th where the code begins.
  ProcessEntry entry;
  entry.pid = pid;
  for (int field = 3; field <= 26; ++field) {
    const std::string_view value = NextField(text);
    if (value.empty()) return std::nullopt;
    if (field == 3) entry.state = value.front();
    if (field == 4 && !ParseNumber(value, entry.parent)) return std::nullopt;
    if (field == 22 && !ParseNumber(value, entry.startTicks)) return std::nullopt;
    if (field == 26 && !ParseNumber(value, entry.startCode)) return std::nullopt;
  }
  return entry;
}

std::vector<ProcessEntry> ListProcesses() {
  std::vector<ProcessEntry> table;
  const DirHandle proc(::opendir("/proc"));
  if (!proc) return table;
  while (const dirent* entry = ::readdir(proc.get())) {
    pid_t pid = 0;
    if (!ParseNumber(std::string_view(entry->d_name), pid) || pid <= 0) continue;
    // The kernel's own threads are the thread starter (2) and its children.
    const auto process = ReadProcess(pid);
    if (process && process->pid != 2 && process->parent != 2) table.push_back(*process);
  }
  return table;
}

KernelFileIds KernelIdsOf(int fd) {
  KernelFileIds ids;
  const UniqueFd fdinfo(::open("/proc/self/fdinfo", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  FdInfo opened;
  if (fdinfo && ReadFdInfo(fdinfo.Get(), std::to_string(fd).c_str(), opened) == Finding::kYes) {
    if (const auto device = MountDevice("/proc/self/mountinfo", opened.mountId)) {
      ids.push_back({*device, opened.inode});
    }
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) return ids;
  if (!Contains(ids, {st.st_dev, st.st_ino})) ids.push_back({st.st_dev, st.st_ino});
  if (!S_ISREG(st.st_mode)) return ids;
  void* const at = ::mmap(nullptr, 1, PROT_READ, MAP_PRIVATE, fd, 0);
  if (at == MAP_FAILED) return ids;
  int error = 0;
  const auto mapped = MappingAt("/proc/self/maps", reinterpret_cast<uintptr_t>(at), error);
  ::munmap(at, 1);
  if (mapped && !Contains(ids, *mapped)) ids.push_back(*mapped);
  return ids;
}

Finding RunsOneOf(const ProcessEntry& process, const KernelFileIds& files) {
  // No code to see: a process between two programs, or one that is ending.
  if (process.startCode <= 1) return Finding::kUnknown;
  int error = 0;
  const auto code = MappingAt(ProcPath(process.pid, "maps"), process.startCode, error);
  // Nothing mapped there: the process started another program meanwhile.
  if (!code) return error == 0 ? Finding::kUnknown : MissingOr(error);
  return Contains(files, *code) ? Finding::kYes : Finding::kNo;
}

Finding HoldsOneOf(pid_t pid, const KernelFileIds& files, int handedDown) {
  UniqueFd folder(::open(ProcPath(pid, "fdinfo").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder) return MissingOr(errno);
  const DirHandle fds(::fdopendir(folder.Get()));
  if (!fds) return Finding::kUnknown;
  folder.Release();  // the listing owns it now
  bool unknown = false;
  while (const dirent* entry = ::readdir(fds.get())) {
    int fd = 0;
    if (!ParseNumber(std::string_view(entry->d_name), fd)) continue;
    FdInfo info;
    const Finding read = ReadFdInfo(::dirfd(fds.get()), entry->d_name, info);
    if (read != Finding::kYes) {
      unknown = unknown || read == Finding::kUnknown;  // one closed meanwhile holds nothing
      continue;
    }
    if (!NamesInode(files, info.inode)) continue;
    const auto device = MountDevice(ProcPath(pid, "mountinfo"), info.mountId);
    if (!device) {
      unknown = true;
      continue;
    }
    if (Contains(files, {*device, info.inode}) && !SharesOpenFile(pid, fd, handedDown)) return Finding::kYes;
  }
  return unknown ? Finding::kUnknown : Finding::kNo;
}
