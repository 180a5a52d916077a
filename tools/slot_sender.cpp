#include "tools/slot_sender.h"

#include <cstdint>
#include <limits>

#include "ipc/codepage.h"

namespace qvr::tools {

SlotSender::SlotSender(std::string_view name) : name_(name), writer_(Utf8ToUtf16(name)) {}

bool SlotSender::Place(std::string_view message) {
  if (message.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return false;
  }
  const auto count = static_cast<std::int32_t>(message.size());
  writer_.Write(message.data(), count);
  return writer_.LastWritePlaced();
}

std::string SlotSender::FailureText() const {
  if (!writer_.IsOpen()) return "no owner holds slot " + name_;
  return "slot " + name_ +
         " refused the message (longer than its owner's limit, or its queue "
         "stayed full)";
}

}  // namespace qvr::tools
