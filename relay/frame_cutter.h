// Cuts the bytes of one relay connection into messages; knows nothing of sockets.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "relay/protocol.h"

namespace qvr::relay {

// Every terminator ends a message; bytes after the last terminator of a read wait for the
// following reads. A message that grows past the bound without a terminator poisons the
// cutter: the connection is to be closed and its pending bytes are dropped.
class FrameCutter {
 public:
  enum class Status { kOk, kOverflow };

  explicit FrameCutter(std::size_t max_message = kMaxMessage) : max_message_(max_message) {}

  // Takes one read; appends every message it completes to `out`, in order. After
  // kOverflow the cutter stays overflowed and takes nothing more.
  Status Feed(std::string_view bytes, std::vector<std::string>& out);

  // Bytes gathered for the message not yet terminated.
  std::size_t pending() const { return pending_.size(); }
  bool overflowed() const { return overflowed_; }

 private:
  std::size_t max_message_;
  std::string pending_;
  bool overflowed_ = false;
};

}  // namespace qvr::relay
