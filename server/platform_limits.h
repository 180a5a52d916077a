// Process-wide limits a server with thousands of connections needs lifted.
#pragma once

namespace qvr::server {

// Raises the soft limit of open files to the hard limit where the system has such a limit.
// Returns the limit now in force, or 0 where there is none to speak of.
unsigned long RaiseOpenFileLimit();

}  // namespace qvr::server
