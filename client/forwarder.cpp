#include "client/forwarder.h"

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <utility>

#include "client/socket_error_text.h"
#include "client/socket_flags.h"
#include "ipc/codepage.h"

namespace qvr::client {

namespace {

using asio::ip::tcp;

// How much the connection test takes in at most before it answers; the server sends one
// line, so only a foreign peer could ever reach this.
constexpr std::size_t kTakeInLimit = 1 << 20;
// How long closing waits for a greeting that has not arrived yet.
constexpr std::chrono::milliseconds kGreetingWait{1000};

SocketError ToSocketError(const asio::error_code& error) {
  return SocketError(error.value(), SocketErrorDescription(error));
}

[[noreturn]] void ThrowLookupError(const asio::error_code& error) {
  if (error == asio::error::host_not_found) {
    throw SocketError(asio::error::host_not_found, std::string(kHostNotFoundText));
  }
  throw ToSocketError(error);
}

bool WouldBlock(const asio::error_code& error) {
  return error == asio::error::would_block || error == asio::error::try_again;
}

}  // namespace

ConnectTimeoutError::ConnectTimeoutError() : RelayError("Connect timed out.") {}

SocketError::SocketError(int number, const std::string& description)
    : RelayError("Socket Error # " + std::to_string(number) + "\n" + description),
      number_(number) {}

// The socket lives in non-blocking mode once connected, so that the connection test never
// waits; Write turns blocking while the send buffer is full, which keeps its blocking
// behaviour.
struct RelayTcpClient::Socket {
  asio::io_context io{1};
  tcp::socket socket{io};
  std::size_t received = 0;  // bytes taken in on this connection

  tcp::endpoint Resolve(const std::string& host, std::uint16_t port) {
    asio::error_code error;
    const auto address = asio::ip::make_address_v4(host, error);
    if (!error) return {address, port};
    tcp::resolver resolver(io);
    const auto results = resolver.resolve(tcp::v4(), host, std::to_string(port),
                                          tcp::resolver::numeric_service, error);
    if (error) ThrowLookupError(error);
    if (results.empty()) ThrowLookupError(asio::error::host_not_found);
    return results.begin()->endpoint();
  }

  void ConnectWithin(const tcp::endpoint& endpoint, std::chrono::milliseconds timeout) {
    asio::error_code error;
    socket.open(tcp::v4(), error);
    if (error) throw ToSocketError(error);
    socket.set_option(tcp::no_delay(true), error);
    bool done = false;
    asio::error_code result;
    socket.async_connect(endpoint, [&](const asio::error_code& e) {
      done = true;
      result = e;
    });
    io.restart();
    io.run_for(timeout);
    if (!done) {
      Close();
      io.restart();
      io.run();  // lets the cancelled attempt finish before its state goes
      throw ConnectTimeoutError();
    }
    if (result) {
      Close();
      throw ToSocketError(result);
    }
    received = 0;
    socket.non_blocking(true, error);
    if (error) {
      Close();
      throw ToSocketError(error);
    }
  }

  bool TakeIn() {
    std::array<char, 4096> scratch;
    std::size_t taken = 0;
    while (taken < kTakeInLimit) {
      asio::error_code error;
      const std::size_t size = socket.read_some(asio::buffer(scratch), error);
      taken += size;
      received += size;
      if (WouldBlock(error)) return true;
      if (error) return false;
    }
    return true;
  }

  void Write(std::string_view bytes, bool more_follows) {
    asio::error_code error;
    std::size_t written =
        socket.send(asio::buffer(bytes), more_follows ? MoreFollowsFlag() : 0, error);
    if (written < bytes.size() && (!error || WouldBlock(error))) {
      // The send buffer is full: finish in blocking mode, which waits for room.
      socket.non_blocking(false, error);
      if (!error) asio::write(socket, asio::buffer(bytes.substr(written)), error);
      if (!error) socket.non_blocking(true, error);
    }
    if (error) {
      Close();
      throw ToSocketError(error);
    }
  }

  // Waits until the whole greeting has arrived and been taken in, the stream has ended or
  // the time is up.
  void AwaitGreeting(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (received < relay::kGreeting.size()) {
      bool readable = false;
      socket.async_wait(tcp::socket::wait_read, [&](const asio::error_code&) { readable = true; });
      io.restart();
      io.run_until(deadline);
      if (!readable) {
        asio::error_code ignored;
        socket.cancel(ignored);
        io.restart();
        io.run();
        return;
      }
      if (!TakeIn()) return;
    }
  }

  void Close() {
    asio::error_code ignored;
    socket.close(ignored);
  }
};

RelayTcpClient::RelayTcpClient(RelayClientOptions options)
    : options_(options), socket_(std::make_unique<Socket>()) {}

RelayTcpClient::~RelayTcpClient() {
  Disconnect();
}

bool RelayTcpClient::Connected() {
  if (!socket_->socket.is_open()) return false;
  if (socket_->TakeIn()) return true;
  socket_->Close();
  return false;
}

void RelayTcpClient::Connect(const std::u16string& host) {
  host_ = host;
  socket_->Close();
  const auto endpoint = socket_->Resolve(Utf16ToUtf8(host), options_.port);
  socket_->ConnectWithin(endpoint, options_.connect_timeout);
}

void RelayTcpClient::Write(std::string_view bytes, bool more_follows) {
  socket_->Write(bytes, more_follows);
}

void RelayTcpClient::Disconnect() {
  if (!socket_->socket.is_open()) return;
  // Bytes that arrive after the close, or lie unread at the close, make the system reset
  // the connection, and a reset destroys frames the server has not read yet. The server
  // greets on accept, possibly after our last frame: so end our side and take the greeting
  // in before closing.
  asio::error_code ignored;
  socket_->socket.shutdown(tcp::socket::shutdown_send, ignored);
  if (socket_->TakeIn()) socket_->AwaitGreeting(kGreetingWait);
  socket_->Close();
}

Forwarder::Forwarder(const TSettings& settings, RelayClientOptions options)
    : IdTCPClient1(options), settings_(settings) {}

std::u16string Forwarder::TargetHost() const {
  return settings_.Host().empty() ? std::u16string(u"localhost") : settings_.Host();
}

void Forwarder::ForwardMessage(std::u16string_view text, bool more_follows) {
  if (!IdTCPClient1.Connected()) IdTCPClient1.Connect(TargetHost());
  IdTCPClient1.Write(relay::BuildFrame(Utf16ToAnsi(text)), more_follows);
}

bool Forwarder::ApplyHost(std::u16string_view host_before) {
  if (settings_.Host() == host_before) return false;
  IdTCPClient1.Disconnect();
  return true;
}

}  // namespace qvr::client
