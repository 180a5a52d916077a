#include "tools/hex.h"

#include <gtest/gtest.h>

#include <string>

namespace qvr::tools {
namespace {

std::string AllBytes() {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  return all;
}

TEST(Hex, EncodesLowercaseTwoDigitsPerByte) {
  std::string out = "x";
  AppendHex(out, std::string("\x00\x0f\xa0\xff", 4));
  EXPECT_EQ(out, "x000fa0ff");
  std::string empty;
  AppendHex(empty, "");
  EXPECT_EQ(empty, "");
}

TEST(Hex, EveryByteSurvivesTheRoundTrip) {
  std::string digits;
  AppendHex(digits, AllBytes());
  ASSERT_EQ(digits.size(), 512u);
  EXPECT_EQ(digits.substr(0, 8), "00010203");
  EXPECT_EQ(digits.substr(504), "fcfdfeff");
  EXPECT_EQ(DecodeHex(digits), AllBytes());
}

TEST(Hex, DecodeAcceptsUppercaseAndIgnoresWhitespace) {
  struct Case {
    std::string_view digits;
    std::string bytes;
  };
  for (const Case& c : {Case{"", ""}, Case{" \n\t", ""}, Case{"4142", "AB"}, Case{"4a4B", "JK"},
                        Case{"41 42\r\n43", "ABC"}, Case{"4\n1", "A"},
                        Case{"00 ff FF", std::string("\x00\xff\xff", 3)}}) {
    EXPECT_EQ(DecodeHex(c.digits), c.bytes) << c.digits;
  }
}

TEST(Hex, DecodeRefusesOddCountsAndNonDigits) {
  const std::string_view refused[] = {"4",
                                      "414",
                                      "4g",
                                      "0x41",
                                      "41-42",
                                      "é1",
                                      std::string_view("41\0"
                                                       "42",
                                                       5)};
  for (const std::string_view digits : refused) {
    EXPECT_EQ(DecodeHex(digits), std::nullopt) << digits;
  }
}

}  // namespace
}  // namespace qvr::tools
