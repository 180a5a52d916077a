// One accepted TCP connection as its handler sees it: blocking writes and reads on the
// connection's own thread. Shutdown may come from any thread and wakes a waiting read.
#pragma once

#include <asio.hpp>

#include <cstddef>
#include <mutex>
#include <stdexcept>
#include <string_view>

namespace qvr::server {

// The peer or this side has closed the connection.
class EIdConnClosedGracefully : public std::runtime_error {
 public:
  EIdConnClosedGracefully() : std::runtime_error("Connection Closed Gracefully.") {}
};

// The network failed under the connection (reset, broken pipe, ...).
class EIdSocketError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TcpConnection {
 public:
  explicit TcpConnection(asio::ip::tcp::socket socket);
  ~TcpConnection();
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  // Handler thread. Writes every byte; throws when the connection is gone.
  void Write(std::string_view bytes);
  // Handler thread. Waits without limit for bytes; takes what has arrived, at most
  // `capacity` bytes. Throws EIdConnClosedGracefully once either side has closed, or
  // EIdSocketError on a network failure.
  std::size_t ReadSome(char* buffer, std::size_t capacity);
  // Handler thread. Closes the socket at once; nothing more is sent or read.
  void Disconnect();
  // Any thread. Ends both directions so that a waiting read returns; used at server stop.
  void Shutdown();

 private:
  [[noreturn]] void Fail(const asio::error_code& error);

  std::mutex mutex_;  // orders Shutdown against Disconnect, never held while waiting
  asio::ip::tcp::socket socket_;
  bool open_ = true;
};

}  // namespace qvr::server
