#include "server/tray_entry.h"

#include "server/headless.h"

namespace qvr::server {

// Built without the GUI: there is no tray program to run.
bool TrayProgramAvailable() {
  return false;
}

int RunTrayProgram(int, char**) {
  return RunHeadless();
}

}  // namespace qvr::server
