// Reading the text form.
#include <iterator>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "client/settings_file.h"

namespace qvr {
namespace {

TSettings Make(bool message, bool set_page, std::u16string host) {
  TSettings settings;
  settings.SetFilter_Message(message);
  settings.SetFilter_QVAction_Presenter_SetPage(set_page);
  settings.SetHost(std::move(host));
  return settings;
}

std::string Describe(const TSettings& s) {
  std::string host;
  for (const char16_t c : s.Host()) {
    host += (c >= 32 && c < 127) ? std::string(1, static_cast<char>(c))
                                 : "\\u" + std::to_string(static_cast<unsigned>(c));
  }
  return std::string(s.Filter_Message() ? "T" : "F") +
         (s.Filter_QVAction_Presenter_SetPage() ? "T" : "F") + " [" + host + "]";
}

struct ReadCase {
  const char* what;
  std::string file;
  TSettings expected;  // read into an object with the initial values
};

void ExpectReads(const ReadCase& c) {
  TSettings settings;
  try {
    ReadSettings(c.file, settings);
  } catch (const SettingsFileError& e) {
    ADD_FAILURE() << c.what << ": " << e.what();
    return;
  }
  EXPECT_EQ(settings, c.expected) << c.what << ": got " << Describe(settings) << ", expected "
                                  << Describe(c.expected);
}

const std::string kHeader = "object Settings: TSettings\r\n";

TEST(SettingsRead, FreedomsOfTheTextForm) {
  const ReadCase cases[] = {
      {"own file",
       "object Settings: TSettings\r\n  Filter_Message = True\r\n"
       "  Filter_QVAction_Presenter_SetPage = True\r\n  Host = 'pc-buehne'\r\nend\r\n",
       Make(true, true, u"pc-buehne")},
      {"letter case of keywords, names and values",
       "OBJECT Settings: TSettings\r\n  filter_message = false\r\n"
       "  FILTER_QVACTION_PRESENTER_SETPAGE = FALSE\r\n  hOST = 'x'\r\nEnd\r\n",
       Make(false, false, u"x")},
      {"no blanks around the equals sign",
       "object Settings:TSettings\r\nFilter_Message=False\r\nHost='h'\r\nend",
       Make(false, true, u"h")},
      {"tabs, LF only and other bytes up to 32",
       std::string("object\tSettings\t:\tTSettings\n\tFilter_Message\t=\tfalse\x01\x1F\n ") +
           "Host\x0B=\f'h'" + std::string(1, '\0') + "  end",
       Make(false, true, u"h")},
      {"without object name", "object TSettings\r\n  Host = 'n'\r\nend\r\n",
       Make(true, true, u"n")},
      {"any class and object name", "object Foo: TBar Host = 'n' end", Make(true, true, u"n")},
      {"all on one line", "object Settings: TSettings Filter_Message = False Host = 'a' end",
       Make(false, true, u"a")},
      {"texts joined by plus", kHeader + "  Host = 'ab' + 'cd'+#39\r\n    + 'e'\r\nend\r\n",
       Make(true, true, u"abcd'e")},
      {"the written form of a long text",
       kHeader + "  Host = \r\n    '" + std::string(64, 'a') + "' +\r\n    'aaaaaa'\r\nend\r\n",
       Make(true, true, std::u16string(70, u'a'))},
      {"two apostrophes in a quoted run", kHeader + "  Host = 'it''s'''\r\nend\r\n",
       Make(true, true, u"it's'")},
      {"codes with leading zeros", kHeader + "  Host = #0065#066'c'\r\nend\r\n",
       Make(true, true, u"ABc")},
      {"code zero", kHeader + "  Host = 'a'#0\r\nend\r\n",
       Make(true, true, std::u16string(u"a\0", 2))},
      {"surrogate codes", kHeader + "  Host = #55357#56832\r\nend\r\n",
       Make(true, true, u"\U0001F600")},
      {"quoted bytes in the code page", kHeader + "  Host = 'B\xFChne \x80'\r\nend\r\n",
       Make(true, true, u"B\u00FChne \u20AC")},
      {"UTF-8 mark: quoted text is UTF-8",
       "\xEF\xBB\xBF" + kHeader + "  Host = 'B\xC3\xBChne \xE2\x82\xAC'\r\nend\r\n",
       Make(true, true, u"B\u00FChne \u20AC")},
      {"a code of 128 or more: quoted bytes are code units",
       kHeader + "  Host = '\x80'#8364'\xFC'\r\nend\r\n", Make(true, true, u"\u0080\u20AC\u00FC")},
      {"the rule holds per token", kHeader + "  Host = '\x80' + #8364\r\nend\r\n",
       Make(true, true, u"\u20AC\u20AC")},
      {"the rule with the UTF-8 mark",
       "\xEF\xBB\xBF" + kHeader + "  Host = '\xC3\xBC'#252 + '\xC3\xBC'\r\nend\r\n",
       Make(true, true, u"\u00C3\u00BC\u00FC\u00FC")},
      {"codes below 128 keep the code page", kHeader + "  Host = #65'\xFC'#127\r\nend\r\n",
       Make(true, true, u"A\u00FC\u007F")},
      {"empty text", kHeader + "  Host = 'x'\r\n  Host = ''\r\nend\r\n", Make(true, true, u"")},
      {"the last of two lines wins",
       kHeader + "  Filter_Message = False\r\n  Filter_Message = True\r\nend\r\n",
       Make(true, true, u"")},
      {"no properties", "object Settings: TSettings\r\nend\r\n", Make(true, true, u"")},
  };
  for (const ReadCase& c : cases) ExpectReads(c);
}

TEST(SettingsRead, UnknownPropertiesArePassedOverWithTheirValues) {
  const std::string file = kHeader +
                           "  Tag = 5\r\n"
                           "  Width = -12\r\n"
                           "  Ratio = 1.5e3\r\n"
                           "  Price = 2.50c\r\n"
                           "  Mask = $FF\r\n"
                           "  Caption = 'x' + #39\r\n"
                           "  Filter_Message = False\r\n"
                           "  Font.Name = 'Arial'\r\n"
                           "  Host.Name = 'not the host'\r\n"
                           "  Color = clBtnFace\r\n"
                           "  Owner = Form1.Panel1\r\n"
                           "  Link = nil\r\n"
                           "  Anchors = [akLeft, akTop]\r\n"
                           "  Bytes = [0, 7]\r\n"
                           "  Empty = []\r\n"
                           "  Lines.Strings = (\r\n    'a'\r\n    'b' + 'c'\r\n    (1 2))\r\n"
                           "  Data = {\r\n    0A0B 0c0d\r\n    EF}\r\n"
                           "  Items = <\r\n    item\r\n      Name = 'a'\r\n    end\r\n"
                           "    item [1]\r\n      Name = 'b'\r\n      Sub = <>\r\n    end>\r\n"
                           "  Filter_QVAction_Presenter_SetPage = False\r\n"
                           "  Host = 'the host'\r\n"
                           "end\r\n";
  ExpectReads({"unknown properties", file, Make(false, false, u"the host")});
}

// A value of the wrong kind leaves its property as it was; the properties after it are read.
TEST(SettingsRead, WrongKindKeepsThePropertyAndReadingGoesOn) {
  const std::string file = kHeader +
                           "  Filter_Message = 'False'\r\n"
                           "  Filter_QVAction_Presenter_SetPage = 0\r\n"
                           "  Filter_Message = Yes\r\n"
                           "  Filter_Message = [False]\r\n"
                           "  Host = True\r\n"
                           "  Host = 5\r\n"
                           "  Host = (\r\n'a')\r\n"
                           "  Host = nil\r\n"
                           "  Filter_QVAction_Presenter_SetPage = False\r\n"
                           "end\r\n";
  TSettings settings = Make(true, true, u"before");
  ReadSettings(file, settings);
  EXPECT_EQ(settings, Make(true, false, u"before")) << Describe(settings);
}

// Every one of these files breaks the rules; reading it throws and changes nothing, even the
// values of lines that stand before the fault.
TEST(SettingsRead, TextThatBreaksTheRulesChangesNothing) {
  const std::string good = kHeader + "  Filter_Message = False\r\n  Host = 'new'\r\n";
  const struct {
    const char* what;
    std::string file;
  } cases[] = {
      {"unclosed apostrophe at the end", good + "  Host = 'abc"},
      {"unclosed apostrophe before end", good + "  Host = 'abc\r\nend\r\n"},
      {"line end inside a quoted run", good + "  Host = 'ab\ncd'\r\nend\r\n"},
      {"missing end", good},
      {"inherited header", "inherited Settings: TSettings\r\n  Host = 'new'\r\nend\r\n"},
      {"inline header", "inline Settings: TSettings\r\n  Host = 'new'\r\nend\r\n"},
      {"position in the header", "object Settings: TSettings [1]\r\n  Host = 'new'\r\nend\r\n"},
      {"nested object", good + "  object Child: TChild\r\n  end\r\nend\r\n"},
      {"nested inherited object", good + "  inherited Child: TChild\r\n  end\r\nend\r\n"},
      {"garbage", "This is not a settings file at all."},
      {"binary garbage", std::string("\x01\x02\x03\x04\x05\x80\xFF", 7)},
      {"no equals sign", good + "  Filter_Message False\r\nend\r\n"},
      {"no value", good + "  Host =\r\nend\r\n"},
      {"plus without a text", good + "  Host = 'a' +\r\nend\r\n"},
      {"blank inside a text token", good + "  Host = 'a' #39\r\nend\r\n"},
      {"# without digits", good + "  Host = #\r\nend\r\n"},
      {"code above 65535", good + "  Host = #65536\r\nend\r\n"},
      {"text after end", good + "end\r\nend\r\n"},
      {"byte above 127 outside quotes", good + "  H\xC3\xB6st = 'x'\r\nend\r\n"},
      {"UTF-16 mark", std::string("\xFF\xFEo\0b\0j\0", 8)},
      {"UTF-16 big-endian mark", std::string("\xFE\xFF\0o\0b\0j", 8)},
      {"empty file", ""},
      {"three bytes", "obj"},
      {"unclosed set", good + "  Foo = [a, b\r\nend\r\n"},
      {"set without comma", good + "  Foo = [a b]\r\nend\r\n"},
      {"odd number of hex digits", good + "  Foo = {0A0}\r\nend\r\n"},
      {"unclosed binary", good + "  Foo = {0A0B\r\nend\r\n"},
      {"collection without item", good + "  Foo = <thing end>\r\nend\r\n"},
      {"unclosed list", good + "  Foo = (1 2\r\nend\r\n"},
      {"bad number", good + "  Foo = 1.e5\r\nend\r\n"},
      {"lone minus", good + "  Foo = -\r\nend\r\n"},
      {"lists nested too deeply",
       good + "  Foo = " + std::string(40, '(') + std::string(40, ')') + "\r\nend\r\n"},
  };
  for (const auto& c : cases) {
    TSettings settings = Make(true, false, u"as made");
    EXPECT_THROW(ReadSettings(c.file, settings), SettingsFileError) << c.what;
    EXPECT_EQ(settings, Make(true, false, u"as made")) << c.what << ": " << Describe(settings);
  }
}

TEST(SettingsRead, ModerateNestingIsRead) {
  const std::string file = kHeader + "  Foo = " + std::string(20, '(') + std::string(20, ')') +
                           "\r\n  Host = 'x'\r\nend\r\n";
  ExpectReads({"nesting", file, Make(true, true, u"x")});
}

TEST(SettingsRead, SizeLimit) {
  // The largest readable file: the written form padded with blanks up to the limit.
  std::string file = kHeader + "  Host = 'big'\r\nend\r\n";
  file.resize(kMaxSettingsFileSize, ' ');
  ExpectReads({"exactly the limit", file, Make(true, true, u"big")});
  file.push_back(' ');
  TSettings settings;
  EXPECT_THROW(ReadSettings(file, settings), SettingsFileError);
  EXPECT_EQ(settings, TSettings());
}

// Settings written and read back are the settings, whatever the host holds.
TEST(SettingsRead, RoundTripOfRandomSettings) {
  std::mt19937 random(20261211);
  const char16_t pool[] = {u'a', u'Z',  u'0',   u' ',   u'\'',  u'#',   u'+',
                           u'=', u'\r', u'\n',  u'\t',  0,      127,    128,
                           0xA0, 0xFC,  0x20AC, 0xD83D, 0xDE00, 0xD800, 0xFFFF};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(pool) - 1);
  std::uniform_int_distribution<std::size_t> length(0, 200);
  std::bernoulli_distribution coin;
  for (int round = 0; round < 500; ++round) {
    std::u16string host(length(random), u'a');
    for (char16_t& c : host) c = pool[pick(random)];
    const TSettings written = Make(coin(random), coin(random), host);
    TSettings read;
    ASSERT_NO_THROW(ReadSettings(WriteSettingsText(written), read)) << round;
    ASSERT_EQ(read, written) << round << ": " << Describe(written);
  }
}

}  // namespace
}  // namespace qvr
