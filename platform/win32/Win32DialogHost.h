// The Win32 host of the installer's window. Callers see only DialogHost.
#pragma once

#include <memory>

#include "SelectLanguage/DialogHost.h"

// A new host; its window is made from the resource template when it runs.
std::unique_ptr<DialogHost> CreateWin32DialogHost();
