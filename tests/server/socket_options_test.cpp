// The settings the server puts on its sockets.
#include "server/socket_options.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

namespace qvr::server {
namespace {

int IntOption(int fd, int level, int name) {
  int value = -1;
  socklen_t size = sizeof value;
  EXPECT_EQ(getsockopt(fd, level, name, &value, &size), 0);
  return value;
}

TEST(SocketOptions, VanishedPeerEndsWithinMinutesLivePeerNever) {
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
  asio::ip::tcp::socket client(io);
  client.connect(acceptor.local_endpoint());
  asio::ip::tcp::socket accepted = acceptor.accept();

  EnableKeepAlive(accepted);
  const int fd = accepted.native_handle();
  EXPECT_EQ(IntOption(fd, SOL_SOCKET, SO_KEEPALIVE), 1);
  const int idle = IntOption(fd, IPPROTO_TCP, TCP_KEEPIDLE);
  const int interval = IntOption(fd, IPPROTO_TCP, TCP_KEEPINTVL);
  const int probes = IntOption(fd, IPPROTO_TCP, TCP_KEEPCNT);
  // Probes only start after a quiet minute or so; a live peer answers them.
  EXPECT_GE(idle, 30);
  EXPECT_GE(probes, 3);
  // A peer that answers none of them is given up within five minutes, not the system's two hours.
  EXPECT_LE(idle + interval * probes, 300);
}

TEST(SocketOptions, ListeningSocketMayRebindOverLingeringConnections) {
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io);
  acceptor.open(asio::ip::tcp::v4());
  PrepareListeningSocket(acceptor);
  EXPECT_EQ(IntOption(acceptor.native_handle(), SOL_SOCKET, SO_REUSEADDR), 1);
  EXPECT_EQ(IntOption(acceptor.native_handle(), SOL_SOCKET, SO_REUSEPORT), 0)
      << "a second copy must not share the port";
}

}  // namespace
}  // namespace qvr::server
