// The relay listener: a TCP server on every local IPv4 address and, where the system has
// IPv6, on every local IPv6 address, that runs one handler per accepted connection on a
// thread of that connection's own, with no limit on their number.
#pragma once

#include <asio.hpp>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "server/tcp_connection.h"

namespace qvr::server {

class EIdCouldNotBindSocket : public std::runtime_error {
 public:
  EIdCouldNotBindSocket()
      : std::runtime_error("Could not bind socket. Address and port are already in use.") {}
};

class TcpServer {
 public:
  // Runs on the connection's thread; it ends the connection by returning or throwing.
  using ExecuteHandler = std::function<void(TcpConnection&)>;

  // Stack of each connection thread: the handler keeps its buffers on the heap.
  static constexpr std::size_t kConnectionStackSize = 256 * 1024;

  // `port` 0 lets the system choose one (the same for both address families).
  TcpServer(std::uint16_t port, ExecuteHandler on_execute);
  // Stops.
  ~TcpServer();
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  // Binds, listens (backlog 15) and starts accepting. Throws EIdCouldNotBindSocket when the
  // port is taken on some address; nothing stays bound then. Once only.
  void Activate();
  // Closes the listeners, shuts every connection down and joins every thread. Idempotent.
  void Stop();

  bool Active() const;
  // The bound port (the chosen one when constructed with 0); 0 while not active.
  std::uint16_t Port() const;
  bool ListensOnIpv6() const;
  // Connections whose handler has not ended yet.
  std::size_t ConnectionCount() const;

 private:
  struct Listener;
  struct Connection;

  void OpenListeners();
  void OpenListenersOnce();
  bool OpenListener(const asio::ip::tcp::endpoint& endpoint, bool v6_only);
  void Accept(Listener& listener);
  void OnAccepted(Listener& listener, const asio::error_code& error, asio::ip::tcp::socket socket);
  void StartConnection(asio::ip::tcp::socket socket);
  void RunConnection(Connection& connection);
  void JoinFinished();

  std::uint16_t requested_port_;
  std::uint16_t port_ = 0;
  ExecuteHandler on_execute_;
  asio::io_context sockets_io_;  // accepted sockets belong here; it runs nothing
  std::vector<std::unique_ptr<Listener>> listeners_;
  bool active_ = false;
  bool ipv6_ = false;

  mutable std::mutex mutex_;
  std::condition_variable all_ended_;
  bool stopping_ = false;
  std::list<std::unique_ptr<Connection>> live_;
  std::vector<std::unique_ptr<Connection>> finished_;  // handler ended, thread not joined
};

}  // namespace qvr::server
