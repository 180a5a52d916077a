#include <cstdlib>

#include "client/gui/display.h"

namespace qvr::client_gui {

namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

// An X server, a Wayland compositor, or a Qt platform chosen explicitly (such as offscreen).
bool DisplayAvailable() {
  return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM");
}

}  // namespace qvr::client_gui
