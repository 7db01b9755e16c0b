// Shared by the POSIX process files: starting a program as a child, and
// making sure that no child is ever left a zombie.
#pragma once

#include <sys/types.h>

#include <string_view>

// Starts the program at `path` (argv[0] = the path, no shell, the process's
// environment and current directory). The child's id, or -1.
pid_t SpawnProgram(std::u16string_view path);

// Starts the program in the open file `fd` (read-only), with argv[0] = `path`
// as above: the file that runs is the one behind `fd`, whatever `path` names
// by now. A "#!" script keeps `fd` open across the start, for its interpreter
// reads the script through it. The child's id, or -1.
pid_t SpawnProgramFromFile(int fd, std::u16string_view path);

// Reaps the child `pid` once it ends, on a thread of its own, so that a child
// nobody waits for is never left a zombie while this process lives.
void ReapWhenEnded(pid_t pid);
