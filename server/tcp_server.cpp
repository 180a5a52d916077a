#include "server/tcp_server.h"

#include <chrono>
#include <optional>
#include <thread>
#include <utility>

#include "relay/protocol.h"
#include "server/small_thread.h"
#include "server/socket_options.h"

namespace qvr::server {

namespace {
// After a failed accept (out of descriptors, say) the listener waits this long before the
// next attempt instead of spinning.
constexpr std::chrono::milliseconds kAcceptRetryDelay{50};
}  // namespace

struct TcpServer::Listener {
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor{io};
  asio::steady_timer retry{io};
  std::optional<std::thread> thread;
};

struct TcpServer::Connection {
  explicit Connection(asio::ip::tcp::socket socket) : tcp(std::move(socket)) {}
  TcpConnection tcp;
  std::optional<SmallThread> thread;
  std::list<std::unique_ptr<Connection>>::iterator position;
};

TcpServer::TcpServer(std::uint16_t port, ExecuteHandler on_execute)
    : requested_port_(port), on_execute_(std::move(on_execute)) {}

TcpServer::~TcpServer() {
  Stop();
}

void TcpServer::Activate() {
  if (active_) return;
  OpenListeners();
  for (auto& listener : listeners_) {
    Accept(*listener);
    Listener* raw = listener.get();
    listener->thread.emplace([raw] { raw->io.run(); });
  }
  active_ = true;
}

void TcpServer::OpenListeners() {
  // With an ephemeral port the IPv6 side may find the IPv4 side's choice taken: choose again.
  const int attempts = requested_port_ == 0 ? 5 : 1;
  for (int attempt = 1;; ++attempt) {
    try {
      OpenListenersOnce();
      return;
    } catch (const EIdCouldNotBindSocket&) {
      if (attempt >= attempts) throw;
    }
  }
}

void TcpServer::OpenListenersOnce() {
  const asio::ip::tcp::endpoint any_v4(asio::ip::address_v4::any(), requested_port_);
  if (!OpenListener(any_v4, false)) throw EIdCouldNotBindSocket();
  port_ = listeners_.front()->acceptor.local_endpoint().port();
  const asio::ip::tcp::endpoint any_v6(asio::ip::address_v6::any(), port_);
  try {
    ipv6_ = OpenListener(any_v6, true);
  } catch (...) {
    listeners_.clear();
    port_ = 0;
    throw;
  }
}

// False when the system has no such address family; throws when the port is taken.
bool TcpServer::OpenListener(const asio::ip::tcp::endpoint& endpoint, bool v6_only) {
  auto listener = std::make_unique<Listener>();
  auto& acceptor = listener->acceptor;
  asio::error_code error;
  acceptor.open(endpoint.protocol(), error);
  if (error) return false;
  if (v6_only) acceptor.set_option(asio::ip::v6_only(true));
  PrepareListeningSocket(acceptor);
  acceptor.bind(endpoint, error);
  if (error == std::errc::address_not_available) return false;
  if (error) throw EIdCouldNotBindSocket();
  acceptor.listen(relay::kListenBacklog, error);
  if (error) throw EIdCouldNotBindSocket();
  listeners_.push_back(std::move(listener));
  return true;
}

void TcpServer::Accept(Listener& listener) {
  listener.acceptor.async_accept(
      sockets_io_, [this, &listener](const asio::error_code& error, asio::ip::tcp::socket socket) {
        OnAccepted(listener, error, std::move(socket));
      });
}

void TcpServer::OnAccepted(Listener& listener, const asio::error_code& error,
                           asio::ip::tcp::socket socket) {
  if (error == asio::error::operation_aborted) return;
  JoinFinished();
  if (error) {
    listener.retry.expires_after(kAcceptRetryDelay);
    listener.retry.async_wait([this, &listener](const asio::error_code& wait_error) {
      if (!wait_error) Accept(listener);
    });
    return;
  }
  StartConnection(std::move(socket));
  Accept(listener);
}

void TcpServer::StartConnection(asio::ip::tcp::socket socket) {
  EnableKeepAlive(socket);
  std::lock_guard lock(mutex_);
  if (stopping_) return;  // the socket closes as it goes
  live_.push_front(std::make_unique<Connection>(std::move(socket)));
  Connection& connection = *live_.front();
  connection.position = live_.begin();
  try {
    connection.thread.emplace(kConnectionStackSize,
                              [this, &connection] { RunConnection(connection); });
  } catch (const std::system_error&) {
    live_.pop_front();  // out of threads: this peer is turned away, the others go on
  }
}

void TcpServer::RunConnection(Connection& connection) {
  try {
    on_execute_(connection.tcp);
  } catch (...) {
    // Any exception ends only this connection, unreported.
  }
  connection.tcp.Disconnect();
  std::lock_guard lock(mutex_);
  finished_.push_back(std::move(*connection.position));
  live_.erase(connection.position);
  if (live_.empty()) all_ended_.notify_all();
}

void TcpServer::JoinFinished() {
  std::vector<std::unique_ptr<Connection>> done;
  {
    std::lock_guard lock(mutex_);
    done.swap(finished_);
  }
  done.clear();  // joins each thread, which has nothing left to do but return
}

void TcpServer::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
  }
  for (auto& listener : listeners_) {
    listener->io.stop();
    if (listener->thread) listener->thread->join();
  }
  listeners_.clear();
  {
    std::unique_lock lock(mutex_);
    for (auto& connection : live_) connection->tcp.Shutdown();
    all_ended_.wait(lock, [this] { return live_.empty(); });
  }
  JoinFinished();
  active_ = false;
  port_ = 0;
}

bool TcpServer::Active() const {
  return active_;
}

std::uint16_t TcpServer::Port() const {
  return port_;
}

bool TcpServer::ListensOnIpv6() const {
  return active_ && ipv6_;
}

std::size_t TcpServer::ConnectionCount() const {
  std::lock_guard lock(mutex_);
  return live_.size();
}

}  // namespace qvr::server
