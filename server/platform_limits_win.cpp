#include "server/platform_limits.h"

namespace qvr::server {

// Sockets are kernel handles without a per-process descriptor limit.
unsigned long RaiseOpenFileLimit() {
  return 0;
}

}  // namespace qvr::server
