// The settings the server puts on its sockets, as Winsock reports them.
#include <gtest/gtest.h>

#include "server/socket_options.h"

namespace qvr::server {
namespace {

int IntOption(SOCKET socket, int level, int name) {
  int value = -1;
  int size = sizeof value;
  EXPECT_EQ(getsockopt(socket, level, name, reinterpret_cast<char*>(&value), &size), 0);
  return value;
}

TEST(SocketOptions, ListeningSocketIsExclusiveAndNeverReusable) {
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io);
  acceptor.open(asio::ip::tcp::v4());
  PrepareListeningSocket(acceptor);
  EXPECT_EQ(IntOption(acceptor.native_handle(), SOL_SOCKET, SO_REUSEADDR), 0)
      << "on Windows it would let a second copy take the port";
  EXPECT_NE(IntOption(acceptor.native_handle(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE), 0);
}

TEST(SocketOptions, SecondListenerCannotTakeThePort) {
  asio::io_context io;
  asio::ip::tcp::acceptor first(io);
  first.open(asio::ip::tcp::v4());
  PrepareListeningSocket(first);
  first.bind({asio::ip::address_v4::loopback(), 0});
  first.listen();

  asio::ip::tcp::acceptor second(io);
  second.open(asio::ip::tcp::v4());
  PrepareListeningSocket(second);
  asio::error_code error;
  second.bind(first.local_endpoint(), error);
  EXPECT_EQ(error, asio::error::address_in_use);
}

TEST(SocketOptions, AcceptedConnectionKeepsAlive) {
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
  asio::ip::tcp::socket client(io);
  client.connect(acceptor.local_endpoint());
  asio::ip::tcp::socket accepted = acceptor.accept();

  EnableKeepAlive(accepted);
  EXPECT_NE(IntOption(accepted.native_handle(), SOL_SOCKET, SO_KEEPALIVE), 0);
}

}  // namespace
}  // namespace qvr::server
