#include "tools/qvslot_args.h"

#include <charconv>

namespace qvr::tools {

namespace {

constexpr std::string_view kUsage =
    "usage: qvslot listen [--hex] [--count N] [--timeout SECONDS] NAME\n"
    "       qvslot send [--hex] NAME [TEXT]\n"
    "       qvslot send [--hex] --lines NAME\n"
    "       qvslot command ACTION PARAM1 PARAM2\n"
    "       qvslot --help | --version\n"
    "\n"
    "listen   owns slot NAME and prints each message as one line on standard output;\n"
    "         stops after N messages, after SECONDS, or on SIGINT/SIGTERM\n"
    "send     writes TEXT, or all of standard input, as one message into slot NAME\n"
    "         --lines: every line of standard input is one message\n"
    "command  writes the command document for ACTION into slot Quelvane\\Messages\n"
    "\n"
    "--hex    messages as hex digits (listen prints them, send reads them)\n"
    "--       ends the options, for a NAME or TEXT that starts with '-'\n"
    "\n"
    "exit codes: 0 done; 1 a message was not placed; 2 slot already owned or action\n"
    "refused; 64 wrong arguments or bad hex\n";

constexpr std::uint64_t kMaxTimeoutSeconds = 999'999'999;

std::optional<std::uint64_t> ParseDigits(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A positive whole number.
std::optional<std::uint64_t> ParseCount(std::string_view text) {
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  const auto value = ParseDigits(text);
  if (!value || *value == 0) return std::nullopt;
  return value;
}

// Seconds with up to three decimals ("5", "0.25"), above zero; in milliseconds.
std::optional<std::uint64_t> ParseSeconds(std::string_view text) {
  const auto dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  std::string_view fraction = dot == std::string_view::npos ? "" : text.substr(dot + 1);
  if (whole.empty() || whole.front() < '0' || whole.front() > '9') return std::nullopt;
  if (dot != std::string_view::npos && (fraction.empty() || fraction.size() > 3)) {
    return std::nullopt;
  }
  const auto seconds = ParseDigits(whole);
  if (!seconds || *seconds > kMaxTimeoutSeconds) return std::nullopt;
  std::uint64_t millis = 0;
  if (!fraction.empty()) {
    if (fraction.front() < '0' || fraction.front() > '9') return std::nullopt;
    const auto digits = ParseDigits(fraction);
    if (!digits) return std::nullopt;
    millis = *digits;
    for (std::size_t i = fraction.size(); i < 3; ++i) millis *= 10;
  }
  const std::uint64_t total = *seconds * 1000 + millis;
  if (total == 0) return std::nullopt;
  return total;
}

bool LooksLikeOption(std::string_view arg) {
  return arg.size() > 1 && arg.front() == '-';
}

// Walks the arguments of one subcommand: options (until "--") and positional arguments.
class ArgCursor {
 public:
  explicit ArgCursor(const std::vector<std::string_view>& args) : args_(args), index_(1) {}

  bool Done() const { return index_ >= args_.size(); }
  std::string_view Next() { return args_[index_++]; }
  bool NextIsOption() {
    if (options_ended_ || !LooksLikeOption(args_[index_])) return false;
    if (args_[index_] == "--") {
      options_ended_ = true;
      ++index_;
      return false;
    }
    return true;
  }
  // The value of `--name VALUE` or `--name=VALUE`; none when it is missing.
  std::optional<std::string_view> Value(std::string_view option, std::string_view name) {
    if (option.size() > name.size()) return option.substr(name.size() + 1);
    if (Done()) return std::nullopt;
    return Next();
  }

 private:
  const std::vector<std::string_view>& args_;
  std::size_t index_;
  bool options_ended_ = false;
};

// "--name" or "--name=..." for options that take a value.
bool Matches(std::string_view option, std::string_view name) {
  return option == name || (option.size() > name.size() && option.substr(0, name.size()) == name &&
                            option[name.size()] == '=');
}

UsageError Unknown(std::string_view option) {
  return UsageError{"unknown option " + std::string(option)};
}

Invocation ParseListen(const std::vector<std::string_view>& args) {
  ListenArgs listen;
  std::vector<std::string_view> positional;
  ArgCursor cursor(args);
  while (!cursor.Done()) {
    if (!cursor.NextIsOption()) {
      if (!cursor.Done()) positional.push_back(cursor.Next());
      continue;
    }
    const std::string_view option = cursor.Next();
    if (option == "--help") return HelpRequest{};
    if (option == "--hex") {
      listen.hex = true;
    } else if (Matches(option, "--count")) {
      const auto value = cursor.Value(option, "--count");
      if (!value) return UsageError{"--count needs a number"};
      listen.count = ParseCount(*value);
      if (!listen.count) return UsageError{"bad --count " + std::string(*value)};
    } else if (Matches(option, "--timeout")) {
      const auto value = cursor.Value(option, "--timeout");
      if (!value) return UsageError{"--timeout needs a number of seconds"};
      listen.timeout_ms = ParseSeconds(*value);
      if (!listen.timeout_ms) return UsageError{"bad --timeout " + std::string(*value)};
    } else {
      return Unknown(option);
    }
  }
  if (positional.empty()) return UsageError{"missing NAME"};
  if (positional.size() > 1) return UsageError{"too many arguments"};
  if (positional[0].empty()) return UsageError{"empty NAME"};
  listen.name = positional[0];
  return listen;
}

Invocation ParseSend(const std::vector<std::string_view>& args) {
  SendArgs send;
  std::vector<std::string_view> positional;
  ArgCursor cursor(args);
  while (!cursor.Done()) {
    if (!cursor.NextIsOption()) {
      if (!cursor.Done()) positional.push_back(cursor.Next());
      continue;
    }
    const std::string_view option = cursor.Next();
    if (option == "--help") return HelpRequest{};
    if (option == "--hex") {
      send.hex = true;
    } else if (option == "--lines") {
      send.lines = true;
    } else {
      return Unknown(option);
    }
  }
  if (positional.empty()) return UsageError{"missing NAME"};
  if (positional.size() > 2) return UsageError{"too many arguments"};
  if (positional.size() == 2 && send.lines) return UsageError{"--lines takes no TEXT"};
  if (positional[0].empty()) return UsageError{"empty NAME"};
  send.name = positional[0];
  if (positional.size() == 2) send.text = std::string(positional[1]);
  return send;
}

Invocation ParseCommand(const std::vector<std::string_view>& args) {
  std::vector<std::string_view> positional;
  ArgCursor cursor(args);
  while (!cursor.Done()) {
    if (!cursor.NextIsOption()) {
      if (!cursor.Done()) positional.push_back(cursor.Next());
      continue;
    }
    const std::string_view option = cursor.Next();
    if (option == "--help") return HelpRequest{};
    return Unknown(option);
  }
  if (positional.size() < 3) return UsageError{"command needs ACTION PARAM1 PARAM2"};
  if (positional.size() > 3) return UsageError{"too many arguments"};
  return CommandArgs{std::string(positional[0]), std::string(positional[1]),
                     std::string(positional[2])};
}

}  // namespace

Invocation ParseArgs(const std::vector<std::string_view>& args) {
  if (args.empty()) return UsageError{"missing subcommand"};
  const std::string_view first = args[0];
  if (first == "--help" || first == "-h") return HelpRequest{};
  if (first == "--version") return VersionRequest{};
  if (first == "listen") return ParseListen(args);
  if (first == "send") return ParseSend(args);
  if (first == "command") return ParseCommand(args);
  if (LooksLikeOption(first)) return Unknown(first);
  return UsageError{"unknown subcommand " + std::string(first)};
}

std::string_view UsageText() {
  return kUsage;
}

}  // namespace qvr::tools
