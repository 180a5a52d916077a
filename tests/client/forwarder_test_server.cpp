#include "tests/client/forwarder_test_server.h"

#include <array>
#include <future>

namespace qvr::test {

using asio::ip::tcp;

struct ForwarderTestServer::Connection {
  explicit Connection(asio::io_context& io) : socket(io) {}
  tcp::socket socket;
  std::array<char, 65536> buffer;
  std::string bytes;         // under the server's mutex
  bool peer_closed = false;  // under the server's mutex
};

ForwarderTestServer::ForwarderTestServer(Options options) : options_(options), acceptor_(io_) {
  const tcp::endpoint endpoint(asio::ip::address_v4::loopback(), options.port);
  acceptor_.open(endpoint.protocol());
  acceptor_.set_option(tcp::acceptor::reuse_address(true));
  acceptor_.bind(endpoint);
  acceptor_.listen();
  port_ = acceptor_.local_endpoint().port();
  Accept();
  thread_ = std::thread([this] { io_.run(); });
}

ForwarderTestServer::~ForwarderTestServer() {
  io_.stop();
  thread_.join();
}

void ForwarderTestServer::Accept() {
  auto connection = std::make_shared<Connection>(io_);
  acceptor_.async_accept(connection->socket, [this, connection](const asio::error_code& error) {
    if (error) return;
    bool hold = false;
    {
      std::lock_guard lock(mutex_);
      hold = options_.hold_first && connections_.empty();
      connections_.push_back(connection);
    }
    changed_.notify_all();
    asio::error_code ignored;
    asio::write(connection->socket, asio::buffer(std::string_view("#1: QVRemote 0.1\r\n")),
                ignored);
    if (!hold) Read(connection);
    Accept();
  });
}

void ForwarderTestServer::Read(const std::shared_ptr<Connection>& connection) {
  connection->socket.async_read_some(
      asio::buffer(connection->buffer),
      [this, connection](const asio::error_code& error, std::size_t size) {
        {
          std::lock_guard lock(mutex_);
          connection->bytes.append(connection->buffer.data(), size);
          if (error) connection->peer_closed = true;
        }
        changed_.notify_all();
        if (!error) Read(connection);
      });
}

template <typename Done>
bool ForwarderTestServer::WaitFor(Done done) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(10), done);
}

bool ForwarderTestServer::WaitForConnections(std::size_t count) {
  return WaitFor([&] { return connections_.size() >= count; });
}

std::string ForwarderTestServer::WaitForBytes(std::size_t index, std::size_t size) {
  WaitFor([&] { return connections_.size() > index && connections_[index]->bytes.size() >= size; });
  return Bytes(index);
}

bool ForwarderTestServer::WaitForPeerClose(std::size_t index) {
  return WaitFor([&] { return connections_.size() > index && connections_[index]->peer_closed; });
}

std::size_t ForwarderTestServer::ConnectionCount() {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

std::string ForwarderTestServer::Bytes(std::size_t index) {
  std::lock_guard lock(mutex_);
  return index < connections_.size() ? connections_[index]->bytes : std::string();
}

void ForwarderTestServer::Close(std::size_t index, bool reset) {
  std::shared_ptr<Connection> connection;
  {
    std::lock_guard lock(mutex_);
    connection = connections_.at(index);
  }
  std::promise<void> done;
  asio::post(io_, [&] {
    asio::error_code ignored;
    if (reset) connection->socket.set_option(asio::socket_base::linger(true, 0), ignored);
    connection->socket.close(ignored);
    done.set_value();
  });
  done.get_future().wait();
}

}  // namespace qvr::test
