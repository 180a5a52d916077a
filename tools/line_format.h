// How the listener prints one message as one line: the exact bytes as hex digits, or the
// text decoded from the code page and written as UTF-8.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace qvr::tools {

class LineFormat {
 public:
  explicit LineFormat(bool hex);

  // The line for `message` into `line` (replacing its content), without a line end.
  void Format(std::string_view message, std::string& line) const;

 private:
  struct Utf8Char {
    unsigned char size;
    char bytes[4];
  };

  bool hex_;
  // A single-byte code page decodes byte by byte; this holds each byte's UTF-8 form, so a
  // burst of messages costs no conversion calls. Empty for a multi-byte code page.
  bool by_byte_ = false;
  std::array<Utf8Char, 256> utf8_{};
};

}  // namespace qvr::tools
