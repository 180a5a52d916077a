// Windows: standard input through its handle, as raw bytes (a pipe, a file or the console).
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <limits>

#include "tools/std_input.h"

namespace qvr::tools {

std::optional<std::size_t> ReadInput(char* buffer, std::size_t capacity) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return 0;  // no input at all: empty
  const DWORD size = capacity > std::numeric_limits<DWORD>::max()
                         ? std::numeric_limits<DWORD>::max()
                         : static_cast<DWORD>(capacity);
  DWORD got = 0;
  if (ReadFile(input, buffer, size, &got, nullptr)) return got;
  // The writing end of a pipe was closed: that is the end of the input.
  if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
  return std::nullopt;
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
