#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "server/socket_options.h"

namespace qvr::server {

namespace {
constexpr int kKeepIdleSeconds = 60;
constexpr int kKeepIntervalSeconds = 10;
constexpr int kKeepProbes = 6;
}  // namespace

void PrepareListeningSocket(asio::ip::tcp::acceptor& acceptor) {
  // Linux refuses the bind anyway while another socket listens on the port.
  acceptor.set_option(asio::socket_base::reuse_address(true));
}

void EnableKeepAlive(asio::ip::tcp::socket& socket) {
  asio::error_code ignored;
  socket.set_option(asio::socket_base::keep_alive(true), ignored);
  const int fd = socket.native_handle();
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleSeconds, sizeof kKeepIdleSeconds);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalSeconds, sizeof kKeepIntervalSeconds);
  setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepProbes, sizeof kKeepProbes);
}

// A read waiting in recv on another thread sees the end of the stream at once.
void ShutdownAndWakeReaders(asio::ip::tcp::socket& socket) {
  asio::error_code ignored;
  socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
}

}  // namespace qvr::server
