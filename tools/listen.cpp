#include "tools/listen.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "ipc/codepage.h"
#include "ipc/slot_channel.h"
#include "tools/console.h"
#include "tools/line_format.h"
#include "tools/line_pump.h"
#include "tools/stop_trigger.h"

namespace qvr::tools {

namespace {

StopTrigger::Deadline DeadlineOf(const ListenArgs& args) {
  if (!args.timeout_ms) return std::nullopt;
  return std::chrono::steady_clock::now() + std::chrono::milliseconds(*args.timeout_ms);
}

enum class LoopEnd { kDone, kOutputFailed, kReadFailed };

// Reads until the count is reached or the slot is closed under the loop.
LoopEnd ReadMessages(ipc::SlotOwner& owner, const ListenArgs& args, LinePump& pump) {
  std::vector<char> buffer(ipc::kSlotMaxMessage);
  const LineFormat format(args.hex);
  std::string line;
  std::uint64_t received = 0;
  while (!args.count || received < *args.count) {
    std::size_t length = 0;
    switch (owner.Read(buffer.data(), buffer.size(), length)) {
      case ipc::SlotOwner::ReadResult::kMessage:
        ++received;
        format.Format(std::string_view(buffer.data(), length), line);
        if (!pump.Append(line)) return LoopEnd::kOutputFailed;
        break;
      case ipc::SlotOwner::ReadResult::kTimedOut:
        break;
      case ipc::SlotOwner::ReadResult::kClosed:
        return LoopEnd::kDone;
      case ipc::SlotOwner::ReadResult::kFailed:
        return LoopEnd::kReadFailed;
    }
  }
  return LoopEnd::kDone;
}

}  // namespace

int RunListen(const ListenArgs& args) {
  // Before any thread starts, so that every thread keeps the stop signals blocked.
  StopTrigger::HoldStopSignals();
  std::unique_ptr<ipc::SlotOwner> owner =
      ipc::SystemSlots().Create(Utf8ToUtf16(args.name), ipc::kSlotMaxMessage, ipc::kWaitForever);
  if (!owner) {
    Complain("cannot own slot " + args.name + ": it is already owned, or it cannot be made");
    return kExitRefused;
  }
  std::fprintf(stderr, "listening on %s\n", args.name.c_str());
  std::fflush(stderr);

  LinePump pump(stdout);
  // Lives until the output is out, so that a stop signal during the last writes is taken
  // (and a second one ends the process).
  StopTrigger trigger(DeadlineOf(args), [&owner] { owner->Close(); });
  const LoopEnd end = ReadMessages(*owner, args, pump);
  // Free the name before the last output goes out: writers fail from now on.
  owner->Close();
  const bool written = pump.Finish();
  if (!written || end == LoopEnd::kOutputFailed) {
    Complain("cannot write to standard output");
    return kExitNotPlaced;
  }
  if (end == LoopEnd::kReadFailed) {
    Complain("reading slot " + args.name + " failed");
    return kExitNotPlaced;
  }
  return kExitOk;
}

}  // namespace qvr::tools
