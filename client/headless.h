// The client without tray icon or windows: the same core on the programs' own event loop.
#pragma once

#include <string>

namespace qvr::client {

// Runs until SIGINT or SIGTERM; returns the exit status (0 after an orderly end). Stop
// signals must be blocked before the call. Reports go to stderr, prefixed "<program>: ".
int RunHeadless(const std::string& program);

}  // namespace qvr::client
