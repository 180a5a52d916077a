// QVRemoteServer: receives relay connections and writes every message into the local slot
// "Quelvane\Messages". A tray program where a display can be opened, else headless.
#include <exception>
#include <iostream>
#include <string_view>

#include "ipc/stop_signals.h"
#include "server/headless.h"
#include "server/platform_limits.h"
#include "server/tray_entry.h"
#include "server/version.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: QVRemoteServer [--headless | --help | --version]\n"
    "Relays messages from QVRemote clients (TCP port 19150) into the local slot\n"
    "Quelvane\\Messages.\n"
    "  --headless  run without tray icon and windows; ends on SIGINT or SIGTERM\n"
    "  --help      show this text\n"
    "  --version   show the version\n";

}  // namespace

int main(int argc, char** argv) {
  bool headless = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--version") {
      std::cout << "QVRemoteServer " << qvr::server::kVersion << "\n";
      return 0;
    }
    if (arg != "--headless") {
      std::cerr << "QVRemoteServer: unknown argument \"" << arg << "\"\n" << kUsage;
      return 2;
    }
    headless = true;
  }

  qvr::BlockStopSignals();
  qvr::server::RaiseOpenFileLimit();
  try {
    if (!headless) {
      if (qvr::server::TrayProgramAvailable()) return qvr::server::RunTrayProgram(argc, argv);
      std::cerr << "QVRemoteServer: no display can be opened, running headless" << std::endl;
    }
    return qvr::server::RunHeadless();
  } catch (const std::exception& e) {
    std::cerr << "QVRemoteServer: " << e.what() << std::endl;
    return 1;
  }
}
