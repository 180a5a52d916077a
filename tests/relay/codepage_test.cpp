#include "ipc/codepage.h"

#include <gtest/gtest.h>

namespace qvr {
namespace {

TEST(CodePage, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const std::u16string text = AnsiToUtf16(all);
  ASSERT_EQ(text.size(), 256u);
  EXPECT_EQ(Utf16ToAnsi(text), all);
}

TEST(CodePage, Windows1252Mapping) {
  struct Case {
    unsigned char byte;
    char16_t unit;
  };
  for (const Case& c : {Case{0x00, 0x0000}, Case{0x41, 0x0041}, Case{0x80, 0x20AC},
                        Case{0x81, 0x0081}, Case{0x8D, 0x008D}, Case{0x8F, 0x008F},
                        Case{0x90, 0x0090}, Case{0x9D, 0x009D}, Case{0x9F, 0x0178},
                        Case{0x96, 0x2013}, Case{0xA0, 0x00A0}, Case{0xDF, 0x00DF},
                        Case{0xFC, 0x00FC}, Case{0xFF, 0x00FF}}) {
    const std::string byte(1, static_cast<char>(c.byte));
    EXPECT_EQ(AnsiToUtf16(byte), std::u16string(1, c.unit)) << int{c.byte};
    EXPECT_EQ(Utf16ToAnsi(std::u16string(1, c.unit)), byte) << int{c.byte};
  }
}

TEST(CodePage, TextOutsideThePageBecomesQuestionMark) {
  EXPECT_EQ(Utf16ToAnsi(u"a\u0100b"), "a?b");
  EXPECT_EQ(Utf16ToAnsi(u"\u4E2D"), "?");
  // A character outside the basic plane is one character: one substitute.
  EXPECT_EQ(Utf16ToAnsi(u"x\U0001F600y"), "x?y");
  EXPECT_EQ(Utf16ToAnsi(std::u16string(1, char16_t{0xD800})), "?");
}

TEST(CodePage, GrusseExample) {
  EXPECT_EQ(Utf16ToAnsi(u"Grüße"), std::string("Gr\xFC\xDF" "e"));
  EXPECT_EQ(AnsiToUtf16(std::string("Gr\xFC\xDF" "e")), u"Grüße");
}

TEST(Utf8, RoundTripAndReplacement) {
  EXPECT_EQ(Utf8ToUtf16("Grüße €"), u"Grüße €");
  EXPECT_EQ(Utf16ToUtf8(u"Grüße € \U0001F600"), "Grüße € \U0001F600");
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xC3"), u"\uFFFD");
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");  // an encoded surrogate
}

}  // namespace
}  // namespace qvr
