#include "server/tcp_connection.h"

#include <utility>

#include "server/socket_options.h"

namespace qvr::server {

TcpConnection::TcpConnection(asio::ip::tcp::socket socket) : socket_(std::move(socket)) {}

TcpConnection::~TcpConnection() {
  Disconnect();
}

void TcpConnection::Fail(const asio::error_code& error) {
  if (error == asio::error::eof || error == asio::error::bad_descriptor ||
      error == asio::error::shut_down) {
    throw EIdConnClosedGracefully();
  }
  throw EIdSocketError("Socket Error # " + std::to_string(error.value()) + "\n" + error.message());
}

void TcpConnection::Write(std::string_view bytes) {
  if (!open_) throw EIdConnClosedGracefully();
  asio::error_code error;
  asio::write(socket_, asio::buffer(bytes.data(), bytes.size()), error);
  if (error) Fail(error);
}

std::size_t TcpConnection::ReadSome(char* buffer, std::size_t capacity) {
  if (!open_) throw EIdConnClosedGracefully();
  asio::error_code error;
  const std::size_t count = socket_.read_some(asio::buffer(buffer, capacity), error);
  if (error) Fail(error);
  return count;
}

void TcpConnection::Disconnect() {
  std::lock_guard lock(mutex_);
  if (!open_) return;
  open_ = false;
  asio::error_code ignored;
  socket_.close(ignored);
}

void TcpConnection::Shutdown() {
  std::lock_guard lock(mutex_);
  if (!open_) return;
  ShutdownAndWakeReaders(socket_);
}

}  // namespace qvr::server
