#include "tests/support/socket_texts.h"

namespace qvr::test {

std::string RefusedConnectionText() {
  return "Socket Error # 10061\nConnection refused.";
}

std::string HostNotFoundText() {
  return "Socket Error # 11001\nHost not found.";
}

bool LingeringConnectionsBlockPlainBind() {
  return false;
}

}  // namespace qvr::test
