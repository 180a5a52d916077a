#include "tools/qvslot_args.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace qvr::tools {

// Readable failure output for the parsed forms.
void PrintTo(const Invocation& invocation, std::ostream* os) {
  struct Printer {
    std::ostream* os;
    void operator()(const HelpRequest&) const { *os << "help"; }
    void operator()(const VersionRequest&) const { *os << "version"; }
    void operator()(const ListenArgs& a) const {
      *os << "listen name=" << a.name << " hex=" << a.hex
          << " count=" << (a.count ? std::to_string(*a.count) : "-")
          << " timeout_ms=" << (a.timeout_ms ? std::to_string(*a.timeout_ms) : "-");
    }
    void operator()(const SendArgs& a) const {
      *os << "send name=" << a.name << " hex=" << a.hex << " lines=" << a.lines
          << " text=" << (a.text ? "'" + *a.text + "'" : "-");
    }
    void operator()(const CommandArgs& a) const {
      *os << "command " << a.action << "|" << a.param1 << "|" << a.param2;
    }
    void operator()(const UsageError& e) const { *os << "usage error: " << e.message; }
  };
  std::visit(Printer{os}, invocation);
}

namespace {

struct AcceptedCase {
  std::vector<std::string_view> args;
  Invocation expected;
};

class AcceptedArgs : public ::testing::TestWithParam<AcceptedCase> {};

TEST_P(AcceptedArgs, ParseToTheExpectedForm) {
  EXPECT_EQ(ParseArgs(GetParam().args), GetParam().expected);
}

ListenArgs Listen(std::string name, bool hex = false, std::optional<std::uint64_t> count = {},
                  std::optional<std::uint64_t> timeout_ms = {}) {
  return ListenArgs{std::move(name), hex, count, timeout_ms};
}

SendArgs Send(std::string name, std::optional<std::string> text, bool hex = false,
              bool lines = false) {
  return SendArgs{std::move(name), hex, lines, std::move(text)};
}

INSTANTIATE_TEST_SUITE_P(
    Table, AcceptedArgs,
    ::testing::Values(
        AcceptedCase{{"--help"}, HelpRequest{}}, AcceptedCase{{"-h"}, HelpRequest{}},
        AcceptedCase{{"--version"}, VersionRequest{}},
        AcceptedCase{{"listen", "--help"}, HelpRequest{}},
        AcceptedCase{{"send", "x", "--help"}, HelpRequest{}},
        AcceptedCase{{"command", "--help"}, HelpRequest{}},
        AcceptedCase{{"listen", "Quelvane\\Messages"}, Listen("Quelvane\\Messages")},
        AcceptedCase{{"listen", "--hex", "--count", "3", "--timeout", "2", "a"},
                     Listen("a", true, 3, 2000)},
        AcceptedCase{{"listen", "a", "--count=7", "--timeout=0.25"}, Listen("a", false, 7, 250)},
        AcceptedCase{{"listen", "--timeout", "1.5", "a"}, Listen("a", false, {}, 1500)},
        AcceptedCase{{"listen", "--timeout", "0.001", "a"}, Listen("a", false, {}, 1)},
        AcceptedCase{{"listen", "--timeout", "1.05", "a"}, Listen("a", false, {}, 1050)},
        AcceptedCase{{"listen", "--", "-odd"}, Listen("-odd")},
        AcceptedCase{{"listen", "-"}, Listen("-")},
        AcceptedCase{{"send", "a"}, Send("a", std::nullopt)},
        AcceptedCase{{"send", "a", "hello world"}, Send("a", "hello world")},
        AcceptedCase{{"send", "a", ""}, Send("a", "")},
        AcceptedCase{{"send", "--hex", "a", "00ff"}, Send("a", "00ff", true)},
        AcceptedCase{{"send", "a", "--", "--hex"}, Send("a", "--hex")},
        AcceptedCase{{"send", "--", "a", "-5"}, Send("a", "-5")},
        AcceptedCase{{"send", "--lines", "a"}, Send("a", std::nullopt, false, true)},
        AcceptedCase{{"send", "a", "--hex", "--lines"}, Send("a", std::nullopt, true, true)},
        AcceptedCase{{"command", "SetPage", "12", ""}, CommandArgs{"SetPage", "12", ""}},
        AcceptedCase{{"command", "Set Page", "", ""}, CommandArgs{"Set Page", "", ""}},
        AcceptedCase{{"command", "--", "-x", "-y", "-z"}, CommandArgs{"-x", "-y", "-z"}}));

struct RefusedCase {
  std::vector<std::string_view> args;
  std::string_view message_part;
};

class RefusedArgs : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedArgs, GiveAUsageErrorThatNamesTheFault) {
  const Invocation parsed = ParseArgs(GetParam().args);
  const auto* error = std::get_if<UsageError>(&parsed);
  ASSERT_NE(error, nullptr) << ::testing::PrintToString(parsed);
  EXPECT_NE(error->message.find(GetParam().message_part), std::string::npos) << error->message;
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedArgs,
    ::testing::Values(
        RefusedCase{{}, "missing subcommand"}, RefusedCase{{"talk"}, "unknown subcommand talk"},
        RefusedCase{{"--verbose"}, "unknown option --verbose"},
        RefusedCase{{"listen"}, "missing NAME"}, RefusedCase{{"listen", "--hex"}, "missing NAME"},
        RefusedCase{{"listen", ""}, "empty NAME"}, RefusedCase{{"listen", "a", "b"}, "too many"},
        RefusedCase{{"listen", "--lines", "a"}, "unknown option --lines"},
        RefusedCase{{"listen", "-x", "a"}, "unknown option -x"},
        RefusedCase{{"listen", "a", "--count"}, "--count needs"},
        RefusedCase{{"listen", "--count", "0", "a"}, "bad --count 0"},
        RefusedCase{{"listen", "--count", "-1", "a"}, "bad --count"},
        RefusedCase{{"listen", "--count", "+3", "a"}, "bad --count"},
        RefusedCase{{"listen", "--count", "3x", "a"}, "bad --count"},
        RefusedCase{{"listen", "--count=", "a"}, "bad --count"},
        RefusedCase{{"listen", "--count", "99999999999999999999999", "a"}, "bad --count"},
        RefusedCase{{"listen", "a", "--timeout"}, "--timeout needs"},
        RefusedCase{{"listen", "--timeout", "0", "a"}, "bad --timeout"},
        RefusedCase{{"listen", "--timeout", "0.0", "a"}, "bad --timeout"},
        RefusedCase{{"listen", "--timeout", "-2", "a"}, "bad --timeout"},
        RefusedCase{{"listen", "--timeout", "1.", "a"}, "bad --timeout"},
        RefusedCase{{"listen", "--timeout", ".5", "a"}, "bad --timeout"},
        RefusedCase{{"listen", "--timeout", "1.2345", "a"}, "bad --timeout"},
        RefusedCase{{"listen", "--timeout", "1.-5", "a"}, "bad --timeout"},
        RefusedCase{{"listen", "--timeout", "1e3", "a"}, "bad --timeout"},
        RefusedCase{{"listen", "--timeout", "abc", "a"}, "bad --timeout"},
        RefusedCase{{"listen", "--timeout", "1000000000", "a"}, "bad --timeout"},
        RefusedCase{{"send"}, "missing NAME"}, RefusedCase{{"send", "", "x"}, "empty NAME"},
        RefusedCase{{"send", "a", "b", "c"}, "too many"},
        RefusedCase{{"send", "--lines", "a", "text"}, "--lines takes no TEXT"},
        RefusedCase{{"send", "--count", "1", "a"}, "unknown option --count"},
        RefusedCase{{"send", "a", "-5"}, "unknown option -5"},
        RefusedCase{{"command"}, "ACTION PARAM1 PARAM2"},
        RefusedCase{{"command", "SetPage", "12"}, "ACTION PARAM1 PARAM2"},
        RefusedCase{{"command", "a", "b", "c", "d"}, "too many"},
        RefusedCase{{"command", "--hex", "a", "b", "c"}, "unknown option --hex"}));

TEST(Usage, NamesEverySubcommandAndOption) {
  const std::string_view usage = UsageText();
  for (const std::string_view word : {"listen", "send", "command", "--hex", "--count", "--timeout",
                                      "--lines", "--help", "--version"}) {
    EXPECT_NE(usage.find(word), std::string_view::npos) << word;
  }
  EXPECT_EQ(usage.back(), '\n');
}

}  // namespace
}  // namespace qvr::tools
