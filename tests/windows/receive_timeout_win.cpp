// Windows takes the receive time-out as a DWORD of milliseconds.
#include "tests/server/receive_timeout.h"

namespace qvr::server::test {

void SetReceiveTimeout(asio::ip::tcp::socket& socket, std::chrono::seconds limit) {
  const DWORD milliseconds = static_cast<DWORD>(limit.count() * 1000);
  setsockopt(socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO,
             reinterpret_cast<const char*>(&milliseconds), sizeof milliseconds);
}

}  // namespace qvr::server::test
