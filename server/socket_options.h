// Socket settings that differ between platforms.
#pragma once

#include <asio.hpp>

namespace qvr::server {

// Before bind. Where the system allows it, lets a restarted server bind while connections of
// the previous run linger; a second running copy still cannot bind.
void PrepareListeningSocket(asio::ip::tcp::acceptor& acceptor);

// On every accepted connection: keepalive probes end a connection whose peer has vanished
// within minutes, and never end one whose peer is alive.
void EnableKeepAlive(asio::ip::tcp::socket& socket);

// From any thread: ends both directions so that a read waiting on another thread returns.
void ShutdownAndWakeReaders(asio::ip::tcp::socket& socket);

}  // namespace qvr::server
