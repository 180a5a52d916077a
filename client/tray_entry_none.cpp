// Builds without the GUI have no tray program; the program runs headless.
#include <iostream>

#include "client/tray_entry.h"

namespace qvr::client {

bool TrayProgramAvailable() {
  return false;
}

int RunTrayProgram(int /*argc*/, char** /*argv*/) {
  std::cerr << "QVRemoteClient: built without the tray program\n";
  return 1;
}

}  // namespace qvr::client
