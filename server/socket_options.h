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

}  // namespace qvr::server
