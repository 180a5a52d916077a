// The writing end that qvslot uses for every message: one TMailSlotWriter, opened on the
// first message and kept open, exactly as the relay server writes.
#pragma once

#include <string>
#include <string_view>

#include "ipc/mailslot_writer.h"

namespace qvr::tools {

class SlotSender {
 public:
  // `name` is UTF-8.
  explicit SlotSender(std::string_view name);

  // True when the message lies in the slot, an empty message included.
  bool Place(std::string_view message);

  // Why the last Place failed, for the user: no owner, or an owner that refused it.
  std::string FailureText() const;

 private:
  std::string name_;
  TMailSlotWriter writer_;
};

}  // namespace qvr::tools
