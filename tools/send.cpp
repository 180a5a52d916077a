#include "tools/send.h"

#include <cstdint>
#include <string>
#include <vector>

#include "ipc/codepage.h"
#include "server/command_document.h"
#include "tools/console.h"
#include "tools/hex.h"
#include "tools/line_splitter.h"
#include "tools/slot_sender.h"
#include "tools/std_input.h"

namespace qvr::tools {

namespace {

constexpr std::size_t kInputBlock = 1024 * 1024;

int PlaceOne(std::string_view name, std::string_view message) {
  SlotSender sender(name);
  if (sender.Place(message)) return kExitOk;
  Complain(sender.FailureText());
  return kExitNotPlaced;
}

// One writer for all lines, so the slot is opened once.
int SendLines(const SendArgs& args) {
  SlotSender sender(args.name);
  LineSplitter splitter;
  std::vector<char> block(kInputBlock);
  std::string decoded;
  std::uint64_t total = 0;
  std::uint64_t failed = 0;
  std::uint64_t bad_line = 0;
  std::string first_failure;
  auto place = [&](std::string_view line) {
    if (bad_line != 0) return;
    ++total;
    if (args.hex) {
      if (!DecodeHexInto(line, decoded)) {
        bad_line = total;
        return;
      }
      line = decoded;
    }
    if (sender.Place(line)) return;
    if (failed++ == 0) first_failure = sender.FailureText();
  };
  while (bad_line == 0) {
    const std::optional<std::size_t> got = ReadInput(block.data(), block.size());
    if (!got) {
      Complain("cannot read standard input");
      return kExitNotPlaced;
    }
    if (*got == 0) break;
    splitter.Feed(std::string_view(block.data(), *got), place);
  }
  splitter.Finish(place);
  if (bad_line != 0) {
    return UsageFailure("line " + std::to_string(bad_line) +
                        " of standard input is not hex digits");
  }
  if (failed == 0) return kExitOk;
  Complain(std::to_string(failed) + " of " + std::to_string(total) +
           " messages not placed in slot " + args.name + "; the first: " + first_failure);
  return kExitNotPlaced;
}

}  // namespace

int RunSend(const SendArgs& args) {
  if (args.lines) return SendLines(args);
  std::string message;
  if (args.text) {
    if (!args.hex) return PlaceOne(args.name, Utf16ToAnsi(Utf8ToUtf16(*args.text)));
    if (!DecodeHexInto(*args.text, message)) return UsageFailure("TEXT is not hex digits");
    return PlaceOne(args.name, message);
  }
  std::string input;
  if (!ReadAllInput(input)) {
    Complain("cannot read standard input");
    return kExitNotPlaced;
  }
  if (!args.hex) return PlaceOne(args.name, input);
  if (!DecodeHexInto(input, message)) return UsageFailure("standard input is not hex digits");
  return PlaceOne(args.name, message);
}

int RunCommand(const CommandArgs& args) {
  std::string document;
  try {
    document = BuildCommandDocument(Utf8ToUtf16(args.action), Utf8ToUtf16(args.param1),
                                    Utf8ToUtf16(args.param2));
  } catch (const EXmlError& error) {
    Complain(error.what());
    return kExitRefused;
  }
  return PlaceOne(kMessagesSlot, document);
}

}  // namespace qvr::tools
