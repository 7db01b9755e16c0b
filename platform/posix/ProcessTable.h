// Shared by the POSIX process files: the processes that /proc lists, which
// file each one runs and which files it holds open. Everything comes from
// what the kernel keeps by itself, the device and inode numbers that
// /proc/<pid>/maps, /proc/<pid>/fdinfo and /proc/<pid>/mountinfo print.
// Nothing here follows /proc/<pid>/exe or /proc/<pid>/fd/N to the file, as
// that asks the file's own file system, and a FUSE daemon that stopped
// answering or a dead network share then never lets the call return.
#pragma once

#include <sys/types.h>

#include <optional>
#include <vector>

// A file as the kernel lists it: the device of its file system's superblock
// and its inode number.
struct KernelFileId {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const KernelFileId&) const = default;
};
using KernelFileIds = std::vector<KernelFileId>;

struct ProcessEntry {
  pid_t pid = 0;
  pid_t parent = 0;
  char state = '?';
  unsigned long long startTicks = 0;  // since boot
  // Where its program's code begins: 0 while it has none (a kernel thread,
  // a process that is starting another program or ending), 1 where this
  // process may not know.
  unsigned long long startCode = 0;
};

// One process's /proc/<pid>/stat, or nothing once it is gone.
std::optional<ProcessEntry> ReadProcess(pid_t pid);
// Every process /proc lists, but the kernel's own threads.
std::vector<ProcessEntry> ListProcesses();

// The ways the kernel lists the file behind this process's descriptor `fd`:
// as an open file, as its file system reports it, and, where it can be
// mapped, as a mapping (a file system such as overlayfs maps another inode
// than the one it opens). Empty for a descriptor that is not open.
KernelFileIds KernelIdsOf(int fd);

// kUnknown: this process may not look.
enum class Finding { kNo, kYes, kUnknown };

// Whether the process runs one of `files`: the mapping that holds its
// program's code. Unknown while it has none.
Finding RunsOneOf(const ProcessEntry& process, const KernelFileIds& files);
// Whether the process holds one of `files` open. A descriptor that shares
// the open file of this process's descriptor `handedDown` (-1 for none) was
// handed down to it, not opened by it, and does not count.
Finding HoldsOneOf(pid_t pid, const KernelFileIds& files, int handedDown);
