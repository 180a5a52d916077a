#include "tools/line_pump.h"

namespace qvr::tools {

namespace {
// Unwritten output above which Append waits.
constexpr std::size_t kMaxPending = 8 * 1024 * 1024;
}  // namespace

LinePump::LinePump(std::FILE* out) : out_(out), thread_([this] { Run(); }) {}

LinePump::~LinePump() {
  Finish();
}

bool LinePump::Append(std::string_view line) {
  std::unique_lock lock(mutex_);
  has_room_.wait(lock, [this] { return pending_.size() < kMaxPending || failed_; });
  if (failed_) return false;
  const bool was_empty = pending_.empty();
  pending_.append(line);
  pending_.push_back('\n');
  if (was_empty) has_lines_.notify_one();
  return true;
}

bool LinePump::Finish() {
  {
    std::lock_guard lock(mutex_);
    finishing_ = true;
  }
  has_lines_.notify_one();
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  return !failed_;
}

void LinePump::Run() {
  std::string writing;
  std::unique_lock lock(mutex_);
  while (true) {
    has_lines_.wait(lock, [this] { return !pending_.empty() || finishing_; });
    if (pending_.empty()) return;  // finishing, and everything is out
    writing.swap(pending_);
    lock.unlock();
    has_room_.notify_one();
    const bool written = std::fwrite(writing.data(), 1, writing.size(), out_) == writing.size() &&
                         std::fflush(out_) == 0;
    writing.clear();
    lock.lock();
    if (!written) {
      failed_ = true;
      pending_.clear();
      has_room_.notify_one();
      return;
    }
  }
}

}  // namespace qvr::tools
