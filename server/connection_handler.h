// What the server does on each relay connection, on that connection's own thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "server/tcp_connection.h"

namespace qvr::server {

// Hands the messages of one read to the UI thread and waits; may throw, which ends the
// connection.
using DeliverMessages = std::function<void(std::vector<std::u16string> texts)>;

// Greets the peer, then reads on: every 0x0C ends a message; the messages one read completes
// are decoded from the code page and handed on together, in order. A "quit" message (any
// letter case) closes the connection at once and is still handed on; what followed it in
// the same read is dropped. A message that grows past the bound closes the connection and
// its bytes are dropped. Returns when the connection is done; throws when it fails.
void IdTCPServer1Execute(TcpConnection& connection, const DeliverMessages& deliver);

}  // namespace qvr::server
