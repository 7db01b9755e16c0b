// Shared by the Win32 process files: starting a program and keeping its
// process handle.
#pragma once

#include <string_view>

#include "platform/win32/WinHandles.h"

// Starts the program at `path`; its process handle, or an empty handle.
KernelHandle StartProcess(std::u16string_view path);
