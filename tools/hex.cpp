#include "tools/hex.h"

namespace qvr::tools {

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

void AppendHex(std::string& out, std::string_view bytes) {
  constexpr char kDigits[] = "0123456789abcdef";
  const std::size_t start = out.size();
  out.resize(start + 2 * bytes.size());
  char* p = out.data() + start;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    *p++ = kDigits[b >> 4];
    *p++ = kDigits[b & 0x0F];
  }
}

std::optional<std::string> DecodeHex(std::string_view digits) {
  std::string bytes;
  if (!DecodeHexInto(digits, bytes)) return std::nullopt;
  return bytes;
}

bool DecodeHexInto(std::string_view digits, std::string& bytes) {
  bytes.clear();
  bytes.reserve(digits.size() / 2);
  int high = -1;
  for (const char c : digits) {
    if (IsSpace(c)) continue;
    const int value = DigitValue(c);
    if (value < 0) return false;
    if (high < 0) {
      high = value;
    } else {
      bytes.push_back(static_cast<char>(high << 4 | value));
      high = -1;
    }
  }
  return high < 0;
}

}  // namespace qvr::tools
