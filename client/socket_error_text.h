// The system's description of a socket error, as the user reads it after "Socket Error # n".
#pragma once

#include <asio.hpp>
#include <string>

namespace qvr::client {

// On Windows the common failures read as the TCP layer words them there ("Connection
// refused.", "Host not found."); everything else is the system's own description.
std::string SocketErrorDescription(const asio::error_code& error);

}  // namespace qvr::client
