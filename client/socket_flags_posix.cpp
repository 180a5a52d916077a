#include <sys/socket.h>

#include "client/socket_flags.h"

namespace qvr::client {

int MoreFollowsFlag() {
  return MSG_MORE;
}

}  // namespace qvr::client
