// The client's end of the relay connection and the forwarder that writes one frame per
// message. Everything here runs on the UI thread and blocks it: connecting, writing.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "client/settings.h"
#include "relay/protocol.h"

namespace qvr::client {

// A failure of the relay connection; what() is the text the user sees.
class RelayError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The connection attempt took longer than the time-out: "Connect timed out."
class ConnectTimeoutError : public RelayError {
 public:
  ConnectTimeoutError();
};

// A failed name lookup, connect or write: "Socket Error # " + number + line break +
// the system's description.
class SocketError : public RelayError {
 public:
  SocketError(int number, const std::string& description);
  int number() const { return number_; }

 private:
  int number_;
};

// The text for a host name that the name service cannot resolve, with the resolver's
// "host not found" number of the platform (HOST_NOT_FOUND, 1, on POSIX; 11001 on Windows).
inline constexpr std::string_view kHostNotFoundText = "Host not found.";

struct RelayClientOptions {
  std::uint16_t port = relay::kPort;
  std::chrono::milliseconds connect_timeout = relay::kConnectTimeout;
};

// The relay connection as the forwarder uses it: IPv4 only, never waits for incoming bytes,
// at most one connection at a time.
class RelayTcpClient {
 public:
  explicit RelayTcpClient(RelayClientOptions options = {});
  ~RelayTcpClient();
  RelayTcpClient(const RelayTcpClient&) = delete;
  RelayTcpClient& operator=(const RelayTcpClient&) = delete;

  // Takes in, without waiting, whatever the server sent; an end of stream or a broken
  // connection closes it. True when a connection is open afterwards.
  bool Connected();
  // Sets Host, looks the name up (IPv4; a dotted address is used as it is) and connects
  // within ConnectTimeout. Raises RelayError and leaves no connection on failure.
  void Connect(const std::u16string& host);
  // Hands every byte to the socket, in order. Raises SocketError and closes on failure.
  // `more_follows`: another write comes at once, so the socket may hold these bytes back
  // to send them together (the next write without it sends everything).
  void Write(std::string_view bytes, bool more_follows = false);
  // Closes an open connection; does nothing otherwise.
  void Disconnect();

  const std::u16string& Host() const { return host_; }
  std::uint16_t Port() const { return options_.port; }
  std::chrono::milliseconds ConnectTimeout() const { return options_.connect_timeout; }

 private:
  struct Socket;  // the asio side, kept out of this header

  RelayClientOptions options_;
  std::u16string host_;
  std::unique_ptr<Socket> socket_;
};

// ForwardMessage's work: one frame per message over the one relay connection, with the host
// read from the settings at each connection attempt and at no other time.
class Forwarder {
 public:
  explicit Forwarder(const TSettings& settings, RelayClientOptions options = {});

  // Connects when no connection is open, then writes the message's frame in one write.
  // Raises RelayError; the message is then lost. Filter settings are not consulted.
  // `more_follows`: the caller forwards another message right after this one.
  void ForwardMessage(std::u16string_view text, bool more_follows = false);
  void Disconnect() { IdTCPClient1.Disconnect(); }
  // Called after the settings were stored: closes the connection when the host differs
  // from `host_before`, so that the next message goes to the new host. True when it differed.
  bool ApplyHost(std::u16string_view host_before);

  // The host a connection attempt uses now: Host as stored, or "localhost" when empty.
  std::u16string TargetHost() const;

  RelayTcpClient IdTCPClient1;

 private:
  const TSettings& settings_;
};

}  // namespace qvr::client
