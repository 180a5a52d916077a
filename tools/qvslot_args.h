// The command line of qvslot, parsed without touching any slot or stream, so that every
// accepted and refused form can be checked from a table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qvr::tools {

// Exit codes shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNotPlaced = 1;  // a message was not placed, or output failed
inline constexpr int kExitRefused = 2;    // slot already owned; action name refused
inline constexpr int kExitUsage = 64;     // wrong arguments or bad hex input

// Slot the presentation program reads; the command subcommand writes there.
inline constexpr std::string_view kMessagesSlot = "Quelvane\\Messages";

struct HelpRequest {
  bool operator==(const HelpRequest&) const = default;
};
struct VersionRequest {
  bool operator==(const VersionRequest&) const = default;
};

struct ListenArgs {
  std::string name;  // UTF-8
  bool hex = false;
  std::optional<std::uint64_t> count;
  std::optional<std::uint64_t> timeout_ms;
  bool operator==(const ListenArgs&) const = default;
};

struct SendArgs {
  std::string name;  // UTF-8
  bool hex = false;
  bool lines = false;
  std::optional<std::string> text;  // none: the message comes from standard input
  bool operator==(const SendArgs&) const = default;
};

struct CommandArgs {
  std::string action;  // UTF-8, like both parameters
  std::string param1;
  std::string param2;
  bool operator==(const CommandArgs&) const = default;
};

struct UsageError {
  std::string message;  // one line, without the program name
  bool operator==(const UsageError&) const = default;
};

using Invocation =
    std::variant<HelpRequest, VersionRequest, ListenArgs, SendArgs, CommandArgs, UsageError>;

// `args` excludes the program name.
Invocation ParseArgs(const std::vector<std::string_view>& args);

// The usage text, ending with a line end.
std::string_view UsageText();

}  // namespace qvr::tools
