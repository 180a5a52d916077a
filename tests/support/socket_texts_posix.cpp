#include "tests/support/socket_texts.h"

namespace qvr::test {

std::string RefusedConnectionText() {
  return "Socket Error # 111\nConnection refused";
}

std::string HostNotFoundText() {
  return "Socket Error # 1\nHost not found.";
}

bool LingeringConnectionsBlockPlainBind() {
  return true;
}

}  // namespace qvr::test
