// QVRemoteClient: forwards every message written into the local slot
// "Quelvane\RemoteSender" to the relay server. A tray program where a display can be
// opened, else headless.
#include <iostream>
#include <string>
#include <string_view>

#include "client/headless.h"
#include "client/tray_entry.h"
#include "ipc/stop_signals.h"

namespace {

constexpr std::string_view kUsage =
    "Usage: QVRemoteClient [--headless | --help | --version]\n"
    "Forwards the messages of the local slot Quelvane\\RemoteSender to the QVRemote\n"
    "server (TCP port 19150) named in the settings, or to localhost.\n"
    "  --headless  run without tray icon and windows; ends on SIGINT or SIGTERM\n"
    "  --help      show this text\n"
    "  --version   show the version\n";

}  // namespace

int main(int argc, char** argv) {
  const std::string program = "QVRemoteClient";
  bool headless = false;
  bool other_arguments = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (arg == "--version") {
      std::cout << program << " " << QVR_CLIENT_VERSION << "\n";
      return 0;
    }
    if (arg == "--headless") {
      headless = true;
    } else {
      other_arguments = true;  // the tray program's toolkit may take them
    }
  }
  const bool tray = !headless && qvr::client::TrayProgramAvailable();
  if (other_arguments && !tray) {
    std::cerr << program << ": unknown argument\n" << kUsage;
    return 2;
  }

  qvr::BlockStopSignals();
  if (tray) return qvr::client::RunTrayProgram(argc, argv);
  if (!headless) std::cerr << program << ": no display or tray program, running headless\n";
  return qvr::client::RunHeadless(program);
}
