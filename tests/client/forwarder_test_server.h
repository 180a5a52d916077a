// A relay server stand-in on 127.0.0.1 with an ephemeral port: greets each connection,
// records the bytes of each one, and can close or reset a connection on request.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qvr::test {

class ForwarderTestServer {
 public:
  struct Options {
    // The first connection is accepted but never read, so its peer's writes back up.
    bool hold_first = false;
    // Port to listen on; 0 picks a free one.
    std::uint16_t port = 0;
  };

  ForwarderTestServer() : ForwarderTestServer(Options{}) {}
  explicit ForwarderTestServer(Options options);
  ~ForwarderTestServer();

  std::uint16_t port() const { return port_; }

  // Waits (up to 10 s) until at least `count` connections were accepted.
  bool WaitForConnections(std::size_t count);
  // Waits (up to 10 s) until connection `index` holds at least `size` bytes; returns them.
  std::string WaitForBytes(std::size_t index, std::size_t size);
  // Waits (up to 10 s) until connection `index` has been closed by its peer.
  bool WaitForPeerClose(std::size_t index);
  std::size_t ConnectionCount();
  std::string Bytes(std::size_t index);

  // Closes connection `index` in an orderly way (or with a reset) and returns once done.
  void Close(std::size_t index, bool reset = false);

 private:
  struct Connection;

  void Accept();
  void Read(const std::shared_ptr<Connection>& connection);
  template <typename Done>
  bool WaitFor(Done done);

  Options options_;
  asio::io_context io_;
  asio::ip::tcp::acceptor acceptor_;
  std::uint16_t port_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::shared_ptr<Connection>> connections_;
  std::thread thread_;
};

}  // namespace qvr::test
