// Reading the binary form ("TPF0").
#include <cstdint>
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

// Builds a binary settings stream piece by piece.
class Binary {
 public:
  explicit Binary(std::string_view class_name = "TSettings",
                  std::string_view object_name = "Settings") {
    bytes_ = "TPF0";
    Short(class_name);
    Short(object_name);
  }

  Binary& Byte(std::uint8_t b) {
    bytes_.push_back(static_cast<char>(b));
    return *this;
  }
  Binary& Raw(std::string_view b) {
    bytes_ += b;
    return *this;
  }
  Binary& U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) Byte(static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  Binary& Short(std::string_view s) { return Byte(static_cast<std::uint8_t>(s.size())).Raw(s); }
  Binary& Name(std::string_view name) { return Short(name); }

  Binary& Flag(std::string_view name, bool value) { return Name(name).Byte(value ? 0x09 : 0x08); }
  Binary& Ansi(std::string_view name, std::string_view bytes) {
    return Name(name).Byte(0x06).Short(bytes);
  }
  Binary& LongAnsi(std::string_view name, std::string_view bytes) {
    return Name(name).Byte(0x0C).U32(static_cast<std::uint32_t>(bytes.size())).Raw(bytes);
  }
  Binary& Wide(std::string_view name, std::u16string_view text) {
    Name(name).Byte(0x12).U32(static_cast<std::uint32_t>(text.size()));
    for (const char16_t c : text) Byte(static_cast<std::uint8_t>(c)).Byte(c >> 8);
    return *this;
  }
  Binary& Utf8(std::string_view name, std::string_view bytes) {
    return Name(name).Byte(0x14).U32(static_cast<std::uint32_t>(bytes.size())).Raw(bytes);
  }

  // End of the properties, end of the (no) child objects.
  std::string End() const { return bytes_ + std::string(2, '\0'); }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

struct BinaryCase {
  const char* what;
  std::string file;
  TSettings expected;  // read into an object with the initial values
};

TEST(SettingsBinary, EachValueType) {
  const BinaryCase cases[] = {
      {"flags false and 06 text",
       Binary()
           .Flag("Filter_Message", false)
           .Flag("Filter_QVAction_Presenter_SetPage", false)
           .Ansi("Host", "pc-buehne")
           .End(),
       Make(false, false, u"pc-buehne")},
      {"flags true", Binary().Flag("Filter_Message", true).End(), Make(true, true, u"")},
      {"06 is the code page", Binary().Ansi("Host", "B\xFChne \x80").End(),
       Make(true, true, u"B\u00FChne \u20AC")},
      {"0C long text in the code page",
       Binary().LongAnsi("Host", std::string(300, 'x') + "\xFC").End(),
       Make(true, true, std::u16string(300, u'x') + u"\u00FC")},
      {"12 UTF-16 text", Binary().Wide("Host", u"B\u00FChne \u20AC \U0001F600").End(),
       Make(true, true, u"B\u00FChne \u20AC \U0001F600")},
      {"14 UTF-8 text", Binary().Utf8("Host", "B\xC3\xBChne \xE2\x82\xAC").End(),
       Make(true, true, u"B\u00FChne \u20AC")},
      {"empty text", Binary().Ansi("Host", "x").Wide("Host", u"").End(), Make(true, true, u"")},
      {"names in any case", Binary().Flag("FILTER_MESSAGE", false).Ansi("host", "h").End(),
       Make(false, true, u"h")},
      {"class and object names are ignored", Binary("", "").Ansi("Host", "h").End(),
       Make(true, true, u"h")},
      {"bytes after the end are not looked at", Binary().Ansi("Host", "h").End() + "junk",
       Make(true, true, u"h")},
  };
  for (const BinaryCase& c : cases) {
    TSettings settings;
    ASSERT_NO_THROW(ReadSettings(c.file, settings)) << c.what;
    EXPECT_EQ(settings, c.expected) << c.what;
  }
}

TEST(SettingsBinary, UnknownPropertiesOfEveryKindArePassedOver) {
  Binary b;
  b.Flag("Filter_Message", false);
  b.Name("Null").Byte(0x00);
  b.Name("Int8").Byte(0x02).Byte(0xFF);
  b.Name("Int16").Byte(0x03).Raw("\x01\x02");
  b.Name("Int32").Byte(0x04).U32(0x00000900);  // holds the bytes of a True and a Null
  b.Name("Extended").Byte(0x05).Raw(std::string(10, '\x09'));
  b.Ansi("Caption", "text");
  b.Name("Ident").Byte(0x07).Short("clBtnFace");
  b.Flag("Visible", true);
  b.Name("Binary").Byte(0x0A).U32(3).Raw(std::string("\x00\x09\x08", 3));
  b.Name("Set").Byte(0x0B).Short("akLeft").Short("akTop").Byte(0);
  b.LongAnsi("Long", "long");
  b.Name("Nil").Byte(0x0D);
  b.Name("Items").Byte(0x0E);
  b.Byte(0x01).Name("Name").Byte(0x06).Short("a").Byte(0);                    // item
  b.Byte(0x02).Byte(0x07).Byte(0x01).Name("Tag").Byte(0x02).Byte(5).Byte(0);  // [7] item
  b.Byte(0);                                                                  // end of items
  b.Name("Single").Byte(0x0F).U32(0);
  b.Name("Currency").Byte(0x10).Raw(std::string(8, '\0'));
  b.Name("Date").Byte(0x11).Raw(std::string(8, '\0'));
  b.Wide("Wide", u"w");
  b.Name("Int64").Byte(0x13).Raw(std::string(8, '\0'));
  b.Utf8("Utf8", "u");
  b.Name("Double").Byte(0x15).Raw(std::string(8, '\0'));
  b.Name("List").Byte(0x01).Byte(0x02).Byte(1).Byte(0x01).Byte(0x06).Short("x").Byte(0).Byte(0);
  b.Flag("Filter_QVAction_Presenter_SetPage", false);
  b.Ansi("Host", "the host");
  TSettings settings;
  ASSERT_NO_THROW(ReadSettings(b.End(), settings));
  EXPECT_EQ(settings, Make(false, false, u"the host"));
}

TEST(SettingsBinary, WrongKindKeepsThePropertyAndReadingGoesOn) {
  const std::string file = Binary()
                               .Ansi("Filter_Message", "False")
                               .Name("Filter_QVAction_Presenter_SetPage")
                               .Byte(0x07)
                               .Short("False")
                               .Flag("Host", true)
                               .Name("Host")
                               .Byte(0x02)
                               .Byte(7)
                               .Flag("Filter_QVAction_Presenter_SetPage", false)
                               .End();
  TSettings settings = Make(true, true, u"before");
  ReadSettings(file, settings);
  EXPECT_EQ(settings, Make(true, false, u"before"));
}

// The binary form is applied as it is read: values before a fault stay, the rest do not come.
TEST(SettingsBinary, FaultsKeepWhatWasReadBefore) {
  const Binary before = Binary().Flag("Filter_Message", false);
  const struct {
    const char* what;
    std::string file;
    bool flag_read;  // the fault comes after the Filter_Message = False of `before`
  } cases[] = {
      {"only the signature", "TPF0", false},
      {"cut off in the class name", "TPF0\x09TSett", false},
      {"unknown value type", Binary(before).Name("X").Byte(0x30).Ansi("Host", "no").End(), true},
      {"cut off in a value", Binary(before).Name("Host").Byte(0x0C).U32(5).Raw("abc").bytes(),
       true},
      {"length beyond the end",
       Binary(before).Name("Host").Byte(0x12).U32(0xFFFFFFFF).Raw("ab").End(), true},
      {"no end of properties", Binary(before).Ansi("Other", "x").bytes(), true},
      {"no end of child objects", Binary(before).Byte(0).bytes(), true},
      {"a child object",
       Binary(before).Byte(0).Short("TChild").Short("Child").Byte(0).Byte(0).Byte(0).bytes(), true},
      {"unclosed list", Binary(before).Name("L").Byte(0x01).Byte(0x02).Byte(1).bytes(), true},
      {"collection item without its list mark",
       Binary(before).Name("C").Byte(0x0E).Byte(0x06).Short("x").Byte(0).End(), true},
      {"lists nested too deeply",
       Binary(before).Name("L").Raw(std::string(40, '\x01')).Raw(std::string(40, '\0')).End(),
       true},
  };
  for (const auto& c : cases) {
    TSettings settings = Make(true, true, u"as made");
    EXPECT_THROW(ReadSettings(c.file, settings), SettingsFileError) << c.what;
    EXPECT_EQ(settings, Make(!c.flag_read, true, u"as made")) << c.what;
  }
}

// The same content as the program's text gives the same values.
TEST(SettingsBinary, SameValuesAsTheText) {
  TSettings expected = Make(false, true, u"B\u00FChne's PC");
  TSettings from_text;
  ReadSettings(WriteSettingsText(expected), from_text);
  TSettings from_binary;
  ReadSettings(Binary()
                   .Flag("Filter_Message", false)
                   .Flag("Filter_QVAction_Presenter_SetPage", true)
                   .Wide("Host", u"B\u00FChne's PC")
                   .End(),
               from_binary);
  EXPECT_EQ(from_text, expected);
  EXPECT_EQ(from_binary, expected);
}

}  // namespace
}  // namespace qvr
