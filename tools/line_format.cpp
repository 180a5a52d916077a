#include "tools/line_format.h"

#include <algorithm>

#include "ipc/codepage.h"
#include "tools/hex.h"

namespace qvr::tools {

namespace {

// True when every byte decodes to exactly one UTF-16 unit on its own and in sequence,
// as on a single-byte code page.
bool IsSingleByte(std::string_view all_bytes) {
  const std::u16string text = AnsiToUtf16(all_bytes);
  if (text.size() != all_bytes.size()) return false;
  for (std::size_t i = 0; i < all_bytes.size(); ++i) {
    if (AnsiToUtf16(all_bytes.substr(i, 1)) != std::u16string(1, text[i])) return false;
  }
  return true;
}

}  // namespace

LineFormat::LineFormat(bool hex) : hex_(hex) {
  if (hex_) return;
  std::string all_bytes;
  for (int b = 0; b < 256; ++b) all_bytes.push_back(static_cast<char>(b));
  if (!IsSingleByte(all_bytes)) return;
  for (std::size_t b = 0; b < all_bytes.size(); ++b) {
    const std::string utf8 = Utf16ToUtf8(AnsiToUtf16(all_bytes.substr(b, 1)));
    if (utf8.size() > sizeof utf8_[b].bytes) return;
    utf8_[b].size = static_cast<unsigned char>(utf8.size());
    std::copy(utf8.begin(), utf8.end(), utf8_[b].bytes);
  }
  by_byte_ = true;
}

void LineFormat::Format(std::string_view message, std::string& line) const {
  line.clear();
  if (hex_) {
    AppendHex(line, message);
    return;
  }
  if (!by_byte_) {
    line = Utf16ToUtf8(AnsiToUtf16(message));
    return;
  }
  line.resize(message.size() * 4);
  char* out = line.data();
  for (const char c : message) {
    const Utf8Char& utf8 = utf8_[static_cast<unsigned char>(c)];
    if (utf8.size == 1) {
      *out++ = utf8.bytes[0];
    } else {
      out = std::copy_n(utf8.bytes, utf8.size, out);
    }
  }
  line.resize(static_cast<std::size_t>(out - line.data()));
}

}  // namespace qvr::tools
