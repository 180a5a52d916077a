#include <cstdlib>
#include <string_view>

#include "server/gui/display.h"

namespace qvr::server_gui {

namespace {

bool EnvironmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

// An X server or a Wayland compositor, or a Qt platform that draws without a display server,
// as tests and remote sessions use.
bool DisplayAvailable() {
  if (EnvironmentSet("DISPLAY") || EnvironmentSet("WAYLAND_DISPLAY")) return true;
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform == nullptr) return false;
  const std::string_view name(platform);
  return name.starts_with("offscreen") || name.starts_with("minimal") || name.starts_with("vnc");
}

}  // namespace qvr::server_gui
