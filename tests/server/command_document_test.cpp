#include "server/command_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace qvr {
namespace {

constexpr std::string_view kDeclarationLine = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n";

struct DocumentCase {
  const char* label;
  std::u16string action;
  std::u16string param1;
  std::u16string param2;
  std::string second_line;  // without its LF
};

std::string Document(const DocumentCase& c) {
  return std::string(kDeclarationLine) + c.second_line + "\n";
}

class CommandDocumentTable : public ::testing::TestWithParam<DocumentCase> {};

TEST_P(CommandDocumentTable, WritesExactBytes) {
  const auto& c = GetParam();
  EXPECT_EQ(BuildCommandDocument(c.action, c.param1, c.param2), Document(c));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandDocumentTable,
    ::testing::Values(
        DocumentCase{
            "worked_example", u"SetPage", u"12", u"",
            R"(<QuelvaneIPC><Remote><SetPage Param1="12" Param2=""/></Remote></QuelvaneIPC>)"},
        DocumentCase{"both_params_empty", u"Next", u"", u"",
                     R"(<QuelvaneIPC><Remote><Next Param1="" Param2=""/></Remote></QuelvaneIPC>)"},
        DocumentCase{"every_escaped_character", u"A", u"a&b<c>d'e\"f", u"\"'><&",
                     "<QuelvaneIPC><Remote><A Param1=\"a&amp;b&lt;c&gt;d&apos;e&quot;f\" "
                     "Param2=\"&quot;&apos;&gt;&lt;&amp;\"/></Remote></QuelvaneIPC>"},
        DocumentCase{
            "entity_escaped_again", u"A", u"&lt;", u"&amp;",
            R"(<QuelvaneIPC><Remote><A Param1="&amp;lt;" Param2="&amp;amp;"/></Remote></QuelvaneIPC>)"},
        DocumentCase{"empty_action", u"", u"12", u"",
                     R"(<QuelvaneIPC><Remote>< Param1="12" Param2=""/></Remote></QuelvaneIPC>)"},
        DocumentCase{"all_empty", u"", u"", u"",
                     R"(<QuelvaneIPC><Remote>< Param1="" Param2=""/></Remote></QuelvaneIPC>)"},
        DocumentCase{"action_markup_unchanged", u"a<b&c>\"'", u"x", u"y",
                     "<QuelvaneIPC><Remote><a<b&c>\"' Param1=\"x\" Param2=\"y\"/></Remote>"
                     "</QuelvaneIPC>"},
        DocumentCase{"controls_raw_in_values", u"A", u"l1\r\nl2\tz", std::u16string(u"\x01\0b", 3),
                     std::string("<QuelvaneIPC><Remote><A Param1=\"l1\r\nl2\tz\" Param2=\"\x01") +
                         std::string(1, '\0') + "b\"/></Remote></QuelvaneIPC>"},
        DocumentCase{"leading_trailing_kept_other_controls_in_name", u"\x01Go\x7F", u" p ", u"  ",
                     "<QuelvaneIPC><Remote><\x01Go\x7F Param1=\" p \" Param2=\"  \"/>"
                     "</Remote></QuelvaneIPC>"},
        DocumentCase{"code_page_bytes", u"Gr\u00FC\u00DFe", u"\u20AC \u00E9", u"\u4E2D",
                     "<QuelvaneIPC><Remote><Gr\xFC\xDF"
                     "e Param1=\"\x80 \xE9\" Param2=\"?\"/>"
                     "</Remote></QuelvaneIPC>"},
        DocumentCase{"unrepresentable_in_name", u"\u4E2D\u6587", u"", u"",
                     R"(<QuelvaneIPC><Remote><?? Param1="" Param2=""/></Remote></QuelvaneIPC>)"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CommandDocument, EndsWithTheSecondLf) {
  const std::string doc = BuildCommandDocument(u"SetPage", u"12", u"");
  ASSERT_FALSE(doc.empty());
  EXPECT_EQ(doc.back(), '\n');
  EXPECT_EQ(std::count(doc.begin(), doc.end(), '\n'), 2);
  EXPECT_EQ(doc.find('\r'), std::string::npos);
}

struct RefusedCase {
  const char* label;
  std::u16string action;
  std::string message;
};

class CommandDocumentRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(CommandDocumentRefused, ThrowsWithExactMessage) {
  const auto& c = GetParam();
  try {
    (void)BuildCommandDocument(c.action, u"1", u"2");
    FAIL() << "no exception";
  } catch (const EXmlError& e) {
    EXPECT_EQ(std::string(e.what()), c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandDocumentRefused,
    ::testing::Values(
        RefusedCase{"blank", u"Set Page", "Illegal character in node name \"Set Page\""},
        RefusedCase{"tab", u"Set\tPage", "Illegal character in node name \"Set\tPage\""},
        RefusedCase{"cr", u"Set\r", "Illegal character in node name \"Set\r\""},
        RefusedCase{"lf", u"\nSet", "Illegal character in node name \"\nSet\""},
        RefusedCase{"only_blank", u" ", "Illegal character in node name \" \""},
        RefusedCase{"utf8_in_message", u"Gr\u00FC\u00DFe Seite",
                    "Illegal character in node name \"Gr\xC3\xBC\xC3\x9F"
                    "e Seite\""}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(CommandDocument, RefusalIsARuntimeError) {
  EXPECT_THROW((void)BuildCommandDocument(u"a b", u"", u""), std::runtime_error);
}

}  // namespace
}  // namespace qvr
