// asio brings in winsock2.h the way it needs it; mstcpip.h builds on that.
#include "server/socket_options.h"
// (kept apart so that include sorting keeps this order)
#include <mstcpip.h>

namespace qvr::server {

// Windows lets SO_REUSEADDR steal a port that another program listens on, so the listening
// socket stays exclusive as the system makes it.
void PrepareListeningSocket(asio::ip::tcp::acceptor&) {}

void EnableKeepAlive(asio::ip::tcp::socket& socket) {
  tcp_keepalive settings{};
  settings.onoff = 1;
  settings.keepalivetime = 60 * 1000;
  settings.keepaliveinterval = 10 * 1000;  // Windows sends 10 probes before giving up
  DWORD returned = 0;
  WSAIoctl(socket.native_handle(), SIO_KEEPALIVE_VALS, &settings, sizeof settings, nullptr, 0,
           &returned, nullptr, nullptr);
}

}  // namespace qvr::server
