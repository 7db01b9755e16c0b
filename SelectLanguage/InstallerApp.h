// The application object: runs the main window modally on the given host;
// the program ends when the window closes.
#pragma once

class DialogHost;

class InstallerApp {
 public:
  // Returns false, so the program ends as soon as the window has closed.
  bool InitInstance(DialogHost& host);
};
