#include "server/gui/display.h"

namespace qvr::server_gui {

// Every interactive Windows session has its desktop and notification area.
bool DisplayAvailable() {
  return true;
}

}  // namespace qvr::server_gui
