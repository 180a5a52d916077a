// asio brings in winsock2.h the way it needs it.
#include "client/socket_error_text.h"

namespace qvr::client {

// Winsock's own texts for these are long sentences ("No connection could be made because the
// target machine actively refused it."); users know the short forms from the old program.
std::string SocketErrorDescription(const asio::error_code& error) {
  switch (error.value()) {
    case WSAECONNREFUSED:
      return "Connection refused.";
    case WSAHOST_NOT_FOUND:
      return "Host not found.";
    default:
      return error.message();
  }
}

}  // namespace qvr::client
