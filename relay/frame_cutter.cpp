#include "relay/frame_cutter.h"

namespace qvr::relay {

FrameCutter::Status FrameCutter::Feed(std::string_view bytes, std::vector<std::string>& out) {
  if (overflowed_) return Status::kOverflow;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find(kTerminator);
    const std::string_view part = bytes.substr(0, end);
    if (pending_.size() + part.size() > max_message_) {
      overflowed_ = true;
      pending_.clear();
      pending_.shrink_to_fit();
      return Status::kOverflow;
    }
    if (end == std::string_view::npos) {
      pending_.append(part);
      break;
    }
    if (pending_.empty()) {
      out.emplace_back(part);
    } else {
      pending_.append(part);
      out.push_back(std::move(pending_));
      pending_.clear();
    }
    bytes.remove_prefix(end + 1);
  }
  return Status::kOk;
}

}  // namespace qvr::relay
