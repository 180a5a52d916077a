// The server without tray or windows: the same core on the programs' own event loop.
#pragma once

namespace qvr::server {

// Listens on the relay port and relays until SIGINT or SIGTERM. Once listening, says
// "ready" in one line on standard error. Returns the exit status: 0 after an orderly exit,
// 1 when the port cannot be bound (the reason goes to standard error).
// BlockStopSignals must have run before any thread was started.
int RunHeadless();

}  // namespace qvr::server
