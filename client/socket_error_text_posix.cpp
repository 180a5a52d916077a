#include "client/socket_error_text.h"

namespace qvr::client {

// The C library's text (strerror), as asio gives it.
std::string SocketErrorDescription(const asio::error_code& error) {
  return error.message();
}

}  // namespace qvr::client
