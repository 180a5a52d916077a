// Runs the qvslot program against itself: one process owns a slot, others write into it.
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "ipc/codepage.h"
#include "tests/support/temp_dir.h"
#include "tests/tools/child_process.h"

namespace qvr::test {
namespace {

const std::string kQvslot = QVSLOT_PATH;
const std::string kMessages = "Quelvane\\Messages";

std::string AllBytes() {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  return all;
}

std::string Hex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    hex.push_back(kDigits[static_cast<unsigned char>(c) >> 4]);
    hex.push_back(kDigits[static_cast<unsigned char>(c) & 0x0F]);
  }
  return hex;
}

class QvslotTest : public ::testing::Test {
 protected:
  // A listener that owns its slot: "listening on" has been seen.
  std::unique_ptr<ChildProcess> Listen(const std::vector<std::string>& args) {
    std::vector<std::string> full = {"listen"};
    full.insert(full.end(), args.begin(), args.end());
    auto child = std::make_unique<ChildProcess>(kQvslot, full);
    EXPECT_TRUE(child->WaitForError("listening on " + args.back())) << child->err();
    return child;
  }

  static ChildResult Run(const std::vector<std::string>& args, std::string input = {}) {
    return RunChild(kQvslot, args, std::move(input));
  }

  IsolatedUserDirs dirs_;  // the children inherit the private slot folder
};

TEST_F(QvslotTest, HexRoundTripOfEveryByte) {
  auto listener = Listen({"--hex", "--count", "1", "bytes"});
  const ChildResult sent = Run({"send", "--hex", "bytes", Hex(AllBytes())});
  EXPECT_EQ(sent.exit_code, 0) << sent.err;
  EXPECT_EQ(listener->Wait(), 0);
  EXPECT_EQ(listener->out(), Hex(AllBytes()) + "\n");
}

TEST_F(QvslotTest, TextArgumentIsEncodedIntoTheCodePage) {
  auto listener = Listen({"--hex", "--count", "1", "text"});
  EXPECT_EQ(Run({"send", "text", "Gr\u00FC\u00DFe \u20AC \u4E2D"}).exit_code, 0);
  EXPECT_EQ(listener->Wait(), 0);
  EXPECT_EQ(listener->out(), "4772fcdf652080203f\n");
}

TEST_F(QvslotTest, TextListenerDecodesTheCodePage) {
  auto listener = Listen({"--count", "2", "text"});
  EXPECT_EQ(Run({"send", "text", "Gr\u00FC\u00DFe \u20AC"}).exit_code, 0);
  // Raw bytes from standard input, every byte value, line ends included.
  EXPECT_EQ(Run({"send", "text"}, AllBytes()).exit_code, 0);
  EXPECT_EQ(listener->Wait(), 0);
  EXPECT_EQ(listener->out(),
            "Gr\u00FC\u00DFe \u20AC\n" + Utf16ToUtf8(AnsiToUtf16(AllBytes())) + "\n");
  EXPECT_NE(listener->out().find("\u0178\u00A0\u00A1"), std::string::npos);  // 9F A0 A1
}

TEST_F(QvslotTest, EmptyMessagesArePlaced) {
  auto listener = Listen({"--hex", "--count", "3", "empty"});
  EXPECT_EQ(Run({"send", "empty", ""}).exit_code, 0);
  EXPECT_EQ(Run({"send", "empty"}, "").exit_code, 0);
  EXPECT_EQ(Run({"send", "--hex", "empty", " "}).exit_code, 0);
  EXPECT_EQ(listener->Wait(), 0);
  EXPECT_EQ(listener->out(), "\n\n\n");
}

TEST_F(QvslotTest, SendWithoutOwnerFails) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"send", "nobody", "hello"},
                                               std::vector<std::string>{"send", "nobody", ""}}) {
    const ChildResult sent = Run(args);
    EXPECT_EQ(sent.exit_code, 1) << args.back();
    EXPECT_NE(sent.err.find("no owner holds slot nobody"), std::string::npos) << sent.err;
  }
  const ChildResult lines = Run({"send", "--lines", "nobody"}, "a\nb\nc\n");
  EXPECT_EQ(lines.exit_code, 1);
  EXPECT_NE(lines.err.find("3 of 3 messages not placed"), std::string::npos) << lines.err;
}

TEST_F(QvslotTest, MessageLongerThanTheLimitIsNotPlaced) {
  auto listener = Listen({"--hex", "--count", "1", "big"});
  const ChildResult too_long = Run({"send", "big"}, std::string(65536, 'x'));
  EXPECT_EQ(too_long.exit_code, 1);
  EXPECT_NE(too_long.err.find("refused"), std::string::npos) << too_long.err;
  const std::string longest(65535, '\xA5');
  EXPECT_EQ(Run({"send", "big"}, longest).exit_code, 0);
  EXPECT_EQ(listener->Wait(), 0);
  EXPECT_EQ(listener->out(), Hex(longest) + "\n");
}

TEST_F(QvslotTest, SecondListenerOnAnOwnedNameExitsWith2) {
  auto first = Listen({"--count", "1", "owned"});
  const ChildResult second = Run({"listen", "owned"});
  EXPECT_EQ(second.exit_code, 2);
  EXPECT_NE(second.err.find("already owned"), std::string::npos) << second.err;
  EXPECT_EQ(second.err.find("listening on"), std::string::npos);
  // The first owner is untouched.
  EXPECT_EQ(Run({"send", "owned", "still here"}).exit_code, 0);
  EXPECT_EQ(first->Wait(), 0);
  EXPECT_EQ(first->out(), "still here\n");
}

TEST_F(QvslotTest, CountEndsTheListenerAndFreesTheName) {
  auto listener = Listen({"--count", "2", "counted"});
  EXPECT_EQ(Run({"send", "counted", "one"}).exit_code, 0);
  EXPECT_EQ(Run({"send", "counted", "two"}).exit_code, 0);
  EXPECT_EQ(listener->Wait(), 0);
  EXPECT_EQ(listener->out(), "one\ntwo\n");
  EXPECT_EQ(Run({"send", "counted", "three"}).exit_code, 1);
  // The name can be owned again.
  auto next = Listen({"--count", "1", "counted"});
  EXPECT_EQ(Run({"send", "counted", "four"}).exit_code, 0);
  EXPECT_EQ(next->Wait(), 0);
  EXPECT_EQ(next->out(), "four\n");
}

TEST_F(QvslotTest, TimeoutEndsTheListener) {
  auto listener = Listen({"--timeout", "0.3", "timed"});
  EXPECT_EQ(listener->Wait(), 0);
  EXPECT_EQ(listener->out(), "");
  // It has freed the name.
  EXPECT_EQ(Run({"send", "timed", "late"}).exit_code, 1);
}

TEST_F(QvslotTest, StopSignalsEndABlockedListenerWithZero) {
  for (const int number : {SIGTERM, SIGINT}) {
    auto listener = Listen({"signalled"});
    EXPECT_EQ(Run({"send", "signalled", "before"}).exit_code, 0);
    ASSERT_TRUE(listener->WaitForOutputLines(1));
    listener->Signal(number);
    EXPECT_EQ(listener->Wait(), 0) << number;
    EXPECT_EQ(listener->out(), "before\n");
  }
}

TEST_F(QvslotTest, LinesArriveInOrderThroughOneWriter) {
  std::string input;
  std::string expected;
  for (int i = 0; i < 1000; ++i) {
    const std::string line = i % 100 == 7 ? "" : "line " + std::to_string(i) + " \xE4";
    input += line + (i % 2 == 1 ? "\r\n" : "\n");
    expected += Utf16ToUtf8(AnsiToUtf16(line)) + "\n";
  }
  input.resize(input.size() - 1);  // the last line ends without LF (its CR stays)
  expected.insert(expected.size() - 1, "\r");
  auto listener = Listen({"--count", "1000", "lines"});
  const ChildResult sent = Run({"send", "--lines", "lines"}, input);
  EXPECT_EQ(sent.exit_code, 0) << sent.err;
  EXPECT_EQ(listener->Wait(), 0);
  EXPECT_EQ(listener->out(), expected);
}

TEST_F(QvslotTest, HexLines) {
  auto listener = Listen({"--hex", "--count", "3", "hexlines"});
  EXPECT_EQ(Run({"send", "--hex", "--lines", "hexlines"}, "00 ff\r\n\n0A0d").exit_code, 0);
  EXPECT_EQ(listener->Wait(), 0);
  EXPECT_EQ(listener->out(), "00ff\n\n0a0d\n");
}

TEST_F(QvslotTest, CommandDocumentArrivesExactly) {
  auto listener = Listen({"--hex", "--count", "1", kMessages});
  const ChildResult sent = Run({"command", "SetPage", "12", ""});
  EXPECT_EQ(sent.exit_code, 0) << sent.err;
  EXPECT_EQ(listener->Wait(), 0);
  EXPECT_EQ(listener->out(),
            Hex("<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
                "<QuelvaneIPC><Remote><SetPage Param1=\"12\" Param2=\"\"/></Remote>"
                "</QuelvaneIPC>\n") +
                "\n");
}

TEST_F(QvslotTest, RefusedActionNameExitsWith2AndSendsNothing) {
  auto listener = Listen({"--count", "1", kMessages});
  const ChildResult refused = Run({"command", "Set Page", "1", "2"});
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_NE(refused.err.find("Illegal character in node name \"Set Page\""), std::string::npos)
      << refused.err;
  EXPECT_EQ(Run({"send", kMessages, "marker"}).exit_code, 0);
  EXPECT_EQ(listener->Wait(), 0);
  EXPECT_EQ(listener->out(), "marker\n");
}

TEST_F(QvslotTest, CommandWithoutOwnerExitsWith1) {
  const ChildResult sent = Run({"command", "SetPage", "1", ""});
  EXPECT_EQ(sent.exit_code, 1);
  EXPECT_NE(sent.err.find("no owner"), std::string::npos) << sent.err;
}

TEST_F(QvslotTest, HelpAndVersion) {
  const ChildResult help = Run({"--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind("usage: qvslot listen", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");
  const ChildResult version = Run({"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "qvslot " QVR_PROJECT_VERSION "\n");
}

TEST_F(QvslotTest, WrongArgumentsAndBadHexGiveUsageAnd64) {
  struct Case {
    std::vector<std::string> args;
    std::string input;
  };
  for (const Case& c :
       {Case{{}, ""}, Case{{"listen"}, ""}, Case{{"send", "--bogus", "x"}, ""},
        Case{{"listen", "--count", "zero", "x"}, ""}, Case{{"listen", "--timeout", "-1", "x"}, ""},
        Case{{"send", "--hex", "x", "4g"}, ""}, Case{{"send", "--hex", "x"}, "414"},
        Case{{"send", "--hex", "--lines", "x"}, "41\nzz\n42\n"}}) {
    const ChildResult result = Run(c.args, c.input);
    EXPECT_EQ(result.exit_code, 64) << ::testing::PrintToString(c.args);
    EXPECT_NE(result.err.find("usage: qvslot"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
  EXPECT_NE(Run({"send", "--hex", "--lines", "x"}, "41\nzz\n").err.find("line 2"),
            std::string::npos);
}

}  // namespace
}  // namespace qvr::test
