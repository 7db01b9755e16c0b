// Starting programs. A program is started by its path alone: no shell, no
// splitting of the path into words, the installer's environment and
// current directory. Implemented per platform (Processes_posix.cpp,
// Processes_win32.cpp).
#pragma once

#include <string_view>

// True when the program has been started.
bool StartProgram(std::u16string_view path);

// True when some process that this one can inspect runs the program in the
// file at `path`: that very file, told by its device and inode (Linux) or
// its volume and file ID (Windows), under whatever name it was started.
bool ProgramRuns(std::u16string_view path);

// Lets the owner run a downloaded file as a program; true when it may.
bool MakeExecutable(std::u16string_view path);
