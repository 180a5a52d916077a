#include "server/connection_handler.h"

#include <memory>

#include "ipc/codepage.h"
#include "relay/frame_cutter.h"
#include "relay/protocol.h"

namespace qvr::server {

namespace {

struct ReadOutcome {
  std::vector<std::u16string> texts;
  bool end = false;  // quit or overflow: the connection is to close
};

ReadOutcome CutRead(relay::FrameCutter& cutter, std::string_view bytes) {
  std::vector<std::string> frames;
  ReadOutcome outcome;
  outcome.end = cutter.Feed(bytes, frames) == relay::FrameCutter::Status::kOverflow;
  for (const auto& frame : frames) {
    outcome.texts.push_back(AnsiToUtf16(frame));
    if (relay::IsQuitCommand(outcome.texts.back())) {
      outcome.end = true;
      break;
    }
  }
  return outcome;
}

}  // namespace

void IdTCPServer1Execute(TcpConnection& connection, const DeliverMessages& deliver) {
  connection.Write(relay::kGreeting);
  relay::FrameCutter cutter;
  // Left uninitialised: only the pages a read fills ever become resident.
  std::unique_ptr<char[]> buffer(new char[relay::kMaxRead]);
  for (;;) {
    const std::size_t count = connection.ReadSome(buffer.get(), relay::kMaxRead);
    ReadOutcome outcome = CutRead(cutter, std::string_view(buffer.get(), count));
    if (outcome.end) connection.Disconnect();
    if (!outcome.texts.empty()) deliver(std::move(outcome.texts));
    if (outcome.end) return;
  }
}

}  // namespace qvr::server
