#include "SelectLanguage/InstallerApp.h"

#include "SelectLanguage/InstallerDialog.h"

bool InstallerApp::InitInstance(DialogHost& host) {
  InstallerDialog dialog(host);
  host.RunModal(dialog);
  return false;
}
