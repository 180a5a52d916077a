#include "client/socket_flags.h"

namespace qvr::client {

// Winsock has no such flag; every frame goes out as it is written.
int MoreFollowsFlag() {
  return 0;
}

}  // namespace qvr::client
