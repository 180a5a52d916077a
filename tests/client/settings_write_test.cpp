#include <cstddef>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "client/settings_file.h"

namespace qvr {
namespace {

constexpr const char* kHead =
    "object Settings: TSettings\r\n"
    "  Filter_Message = True\r\n"
    "  Filter_QVAction_Presenter_SetPage = True\r\n";
constexpr const char* kTail = "end\r\n";

TSettings WithHost(std::u16string host) {
  TSettings settings;
  settings.SetHost(std::move(host));
  return settings;
}

std::string Repeat(std::string_view part, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += part;
  return out;
}

TEST(SettingsWrite, ExampleIsExactly124Bytes) {
  const std::string text = WriteSettingsText(WithHost(u"pc-buehne"));
  EXPECT_EQ(text,
            "object Settings: TSettings\r\n"
            "  Filter_Message = True\r\n"
            "  Filter_QVAction_Presenter_SetPage = True\r\n"
            "  Host = 'pc-buehne'\r\n"
            "end\r\n");
  EXPECT_EQ(text.size(), 124u);
}

TEST(SettingsWrite, EmptyHostIsLeftOutAndFlagsAreAlwaysWritten) {
  TSettings settings;
  settings.SetFilter_Message(false);
  settings.SetFilter_QVAction_Presenter_SetPage(false);
  EXPECT_EQ(WriteSettingsText(settings),
            "object Settings: TSettings\r\n"
            "  Filter_Message = False\r\n"
            "  Filter_QVAction_Presenter_SetPage = False\r\n"
            "end\r\n");
  settings.SetFilter_QVAction_Presenter_SetPage(true);
  EXPECT_EQ(WriteSettingsText(settings),
            "object Settings: TSettings\r\n"
            "  Filter_Message = False\r\n"
            "  Filter_QVAction_Presenter_SetPage = True\r\n"
            "end\r\n");
}

// The Host line(s) for a host, everything else of the file being fixed.
struct HostCase {
  const char* what;
  std::u16string host;
  std::string lines;
};

TEST(SettingsWrite, HostLines) {
  const std::string a64 = Repeat("a", 64);
  const HostCase cases[] = {
      {"plain", u"pc-buehne", "  Host = 'pc-buehne'\r\n"},
      {"umlaut and apostrophe", u"B\u00FChne's PC", "  Host = 'B'#252'hne'#39's PC'\r\n"},
      {"apostrophe only", u"'", "  Host = #39\r\n"},
      {"blank and DEL are quoted", u" \x7F ", "  Host = ' \x7F '\r\n"},
      {"controls", std::u16string(u"a\tb\r\n\0c", 7), "  Host = 'a'#9'b'#13#10#0'c'\r\n"},
      {"above 127", u"\u0080\u00FF\u20AC\uFFFF", "  Host = #128#255#8364#65535\r\n"},
      {"surrogate pair", u"x\U0001F600y", "  Host = 'x'#55357#56832'y'\r\n"},
      {"exactly 64", std::u16string(64, u'a'), "  Host = '" + a64 + "'\r\n"},
      {"65", std::u16string(65, u'a'), "  Host = \r\n    '" + a64 + "' +\r\n    'a'\r\n"},
      {"70 letters a", std::u16string(70, u'a'),
       "  Host = \r\n    '" + a64 + "' +\r\n    'aaaaaa'\r\n"},
      {"130: three lines", std::u16string(130, u'b'),
       "  Host = \r\n    '" + Repeat("b", 64) + "' +\r\n    '" + Repeat("b", 64) +
           "' +\r\n    'bb'\r\n"},
      {"code ends the first line", std::u16string(63, u'a') + u"\u00FCbbb",
       "  Host = \r\n    '" + Repeat("a", 63) + "'#252 +\r\n    'bbb'\r\n"},
      {"two codes across the line end", std::u16string(63, u'a') + u"\u00FC\u00FCc",
       "  Host = \r\n    '" + Repeat("a", 63) + "'#252 +\r\n    #252'c'\r\n"},
      {"run cut at the line end", u"\u00FC" + std::u16string(70, u'a'),
       "  Host = \r\n    #252'" + Repeat("a", 63) + "' +\r\n    '" + Repeat("a", 7) + "'\r\n"},
      {"codes only", std::u16string(65, u'\u00FC'),
       "  Host = \r\n    " + Repeat("#252", 64) + " +\r\n    #252\r\n"},
      {"64 then a code", std::u16string(64, u'a') + u"\r",
       "  Host = \r\n    '" + a64 + "' +\r\n    #13\r\n"},
      {"surrogate pair split by the line end", std::u16string(63, u'a') + u"\U0001F600",
       "  Host = \r\n    '" + Repeat("a", 63) + "'#55357 +\r\n    #56832\r\n"},
  };
  for (const HostCase& c : cases) {
    EXPECT_EQ(WriteSettingsText(WithHost(c.host)), kHead + c.lines + kTail) << c.what;
  }
}

// Whatever the host, the file is 7-bit text with CR LF after every line and nowhere else.
TEST(SettingsWrite, RandomHostsGiveSevenBitLinesWithCrLf) {
  std::mt19937 random(4711);
  const char16_t pool[] = {u'a', u' ', u'\'', u'#', u'+', u'\r', u'\n', 0, 127, 0xFC, 0x20AC};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(pool) - 1);
  std::uniform_int_distribution<std::size_t> length(1, 200);
  for (int round = 0; round < 200; ++round) {
    std::u16string host(length(random), u'a');
    for (char16_t& c : host) c = pool[pick(random)];
    const std::string text = WriteSettingsText(WithHost(host));
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 5), "end\r\n");
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto byte = static_cast<unsigned char>(text[i]);
      ASSERT_LT(byte, 128u) << i;
      if (byte == '\r') {
        ASSERT_EQ(text[i + 1], '\n') << i;
      }
      if (byte == '\n') {
        ASSERT_EQ(text[i - 1], '\r') << i;
      }
    }
  }
}

}  // namespace
}  // namespace qvr
