#include "tools/line_format.h"

#include <gtest/gtest.h>

#include <string>

#include "ipc/codepage.h"

namespace qvr::tools {
namespace {

std::string Formatted(bool hex, std::string_view message) {
  std::string line = "left over";
  LineFormat(hex).Format(message, line);
  return line;
}

TEST(LineFormat, TextIsTheCodePageDecodedAsUtf8) {
  struct Case {
    std::string message;
    std::string line;
  };
  for (const Case& c : {Case{"", ""}, Case{"plain ascii", "plain ascii"},
                        Case{"Gr\xFC\xDF"
                             "e \x80",
                             "Gr\u00FC\u00DFe \u20AC"},
                        Case{"\x93q\x94 \x85", "\u201Cq\u201D \u2026"},
                        Case{std::string("a\0b\r\nc", 6), std::string("a\0b\r\nc", 6)},
                        Case{"\x81\x9F\xFF", "\u0081\u0178\u00FF"}}) {
    EXPECT_EQ(Formatted(false, c.message), c.line) << c.message;
  }
}

TEST(LineFormat, TextOfEveryByteMatchesTheConversionFunctions) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Formatted(false, all), Utf16ToUtf8(AnsiToUtf16(all)));
}

TEST(LineFormat, HexIsTheExactBytes) {
  EXPECT_EQ(Formatted(true, ""), "");
  EXPECT_EQ(Formatted(true, std::string("\x00\n\xfc", 3)), "000afc");
}

}  // namespace
}  // namespace qvr::tools
