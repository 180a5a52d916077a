#include "tests/support/wine.h"

namespace qvr::test {

// Wine runs Windows programs only; a POSIX build never runs under it.
std::string WineVersion() {
  return {};
}

}  // namespace qvr::test
