#include "client/gui/display.h"

namespace qvr::client_gui {

// Every interactive Windows session has its desktop and notification area.
bool DisplayAvailable() {
  return true;
}

}  // namespace qvr::client_gui
