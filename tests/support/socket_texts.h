// The socket error texts the client shows, as this platform numbers and words them, and
// the socket behaviour the tests rely on that differs between platforms.
#pragma once

#include <string>

namespace qvr::test {

// Nothing listens on the port: ECONNREFUSED with strerror's text, or 10061 on Windows.
std::string RefusedConnectionText();
// The name service does not know the host: HOST_NOT_FOUND (1), or 11001 on Windows.
std::string HostNotFoundText();

// Whether connections lingering in TIME_WAIT keep a plain bind (no options) off their port:
// true on POSIX systems; Windows lets such a bind through.
bool LingeringConnectionsBlockPlainBind();

}  // namespace qvr::test
