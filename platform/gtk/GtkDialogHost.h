// The GTK 3 host of the installer's window. Callers see only DialogHost.
#pragma once

#include <memory>
#include <string>

#include "SelectLanguage/DialogHost.h"

// A new host with its window made but not shown (GTK must be initialised).
std::unique_ptr<DialogHost> CreateGtkDialogHost();

// Brings the shown window of a host made by CreateGtkDialogHost to the
// front, restored if minimised, for a later start of the program (with that
// start's activation token, or empty). Does nothing before the window has
// been shown, once it has closed, or for a host of another kind. True when
// the window was brought forward.
bool BringGtkHostToFront(DialogHost& host, const std::string& activationToken);
