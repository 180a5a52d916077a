// POSIX side of the report file: where it lives and how the platform is named.
#include <sys/utsname.h>

#include <cstdlib>

#include "server/gui/crash_report.h"

namespace qvr::server {

std::string PlatformDescription() {
  struct utsname name {};
  if (::uname(&name) != 0) return "unknown";
  return std::string(name.sysname) + ' ' + name.release + ' ' + name.machine;
}

std::filesystem::path BugReportPath() {
  std::filesystem::path base;
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && *data == '/') {
    base = data;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home != nullptr ? home : "/tmp") / ".local" / "share";
  }
  return base / "Quelvane" / "Remote Server" / "bugreport.txt";
}

}  // namespace qvr::server
