#include <sys/socket.h>
#include <sys/time.h>

#include "tests/server/receive_timeout.h"

namespace qvr::server::test {

void SetReceiveTimeout(asio::ip::tcp::socket& socket, std::chrono::seconds limit) {
  timeval timeout{};
  timeout.tv_sec = limit.count();
  setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
}

}  // namespace qvr::server::test
