// asio brings in winsock2.h the way it needs it; mstcpip.h builds on that.
#include "server/socket_options.h"
// (kept apart so that include sorting keeps this order)
#include <mstcpip.h>

namespace qvr::server {

// SO_REUSEADDR on Windows would let a second copy take the port the first one listens on, so
// it is never set; SO_EXCLUSIVEADDRUSE also keeps other programs from binding the port more
// specifically while the server listens.
void PrepareListeningSocket(asio::ip::tcp::acceptor& acceptor) {
  using ExclusiveAddressUse = asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>;
  asio::error_code ignored;  // the port stays usable without it
  acceptor.set_option(ExclusiveAddressUse(true), ignored);
}

void EnableKeepAlive(asio::ip::tcp::socket& socket) {
  tcp_keepalive settings{};
  settings.onoff = 1;
  settings.keepalivetime = 60 * 1000;
  settings.keepaliveinterval = 10 * 1000;  // Windows sends 10 probes before giving up
  DWORD returned = 0;
  WSAIoctl(socket.native_handle(), SIO_KEEPALIVE_VALS, &settings, sizeof settings, nullptr, 0,
           &returned, nullptr, nullptr);
}

// shutdown() alone does not end a blocking recv that another thread waits in, so the
// socket's pending requests are cancelled too; the read then fails and the handler ends.
void ShutdownAndWakeReaders(asio::ip::tcp::socket& socket) {
  asio::error_code ignored;
  socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  const SOCKET handle = socket.native_handle();
  CancelIoEx(reinterpret_cast<HANDLE>(handle), nullptr);
}

}  // namespace qvr::server
