#include <cerrno>

#include <unistd.h>

#include "tools/std_input.h"

namespace qvr::tools {

std::optional<std::size_t> ReadInput(char* buffer, std::size_t capacity) {
  while (true) {
    const ssize_t got = ::read(STDIN_FILENO, buffer, capacity);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return std::nullopt;
  }
}

bool ReadAllInput(std::string& bytes) {
  constexpr std::size_t kBlock = 64 * 1024;
  while (true) {
    const std::size_t start = bytes.size();
    bytes.resize(start + kBlock);
    const std::optional<std::size_t> got = ReadInput(bytes.data() + start, kBlock);
    bytes.resize(start + got.value_or(0));
    if (!got) return false;
    if (*got == 0) return true;
  }
}

}  // namespace qvr::tools
