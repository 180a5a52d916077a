// A blocking receive that gives up after a while, so that a test fails instead of hanging.
#pragma once

#include <asio.hpp>
#include <chrono>

namespace qvr::server::test {

void SetReceiveTimeout(asio::ip::tcp::socket& socket, std::chrono::seconds limit);

}  // namespace qvr::server::test
