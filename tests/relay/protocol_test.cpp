#include "relay/protocol.h"

#include <gtest/gtest.h>

namespace qvr::relay {
namespace {

TEST(Protocol, GreetingIsTheEighteenBytesOfTheLine) {
  const unsigned char expected[] = {0x23, 0x31, 0x3A, 0x20, 0x51, 0x56, 0x52, 0x65, 0x6D,
                                    0x6F, 0x74, 0x65, 0x20, 0x30, 0x2E, 0x31, 0x0D, 0x0A};
  ASSERT_EQ(kGreeting.size(), sizeof expected);
  for (std::size_t i = 0; i < sizeof expected; ++i) {
    EXPECT_EQ(static_cast<unsigned char>(kGreeting[i]), expected[i]) << i;
  }
}

TEST(Protocol, FrameIsMessageAndTerminator) {
  EXPECT_EQ(BuildFrame("abc"), std::string("abc\x0C"));
  EXPECT_EQ(BuildFrame(""), std::string("\x0C"));
  // A form feed inside is sent unchanged.
  EXPECT_EQ(BuildFrame("a\x0C" "b"), std::string("a\x0C" "b\x0C"));
  EXPECT_EQ(BuildFrame(std::string("G\x72\xFC\xDF" "e")), std::string("Gr\xFC\xDF" "e\x0C"));
}

TEST(Protocol, QuitTest) {
  struct Case {
    std::u16string text;
    bool quits;
  };
  for (const Case& c : {Case{u"quit", true}, Case{u"QUIT", true}, Case{u"Quit", true},
                        Case{u"qUiT", true}, Case{u"quit ", false}, Case{u" quit", false},
                        Case{u"quitx", false}, Case{u"qui", false}, Case{u"", false},
                        Case{std::u16string(u"quit\0", 5), false},
                        Case{u"qu\u0130t", false}, Case{u"quit\x0C" u"x", false}}) {
    EXPECT_EQ(IsQuitCommand(c.text), c.quits) << std::string(c.text.begin(), c.text.end());
  }
}

}  // namespace
}  // namespace qvr::relay
