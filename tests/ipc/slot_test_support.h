// Small helpers for the slot tests: an owner read on a thread of its own, and a writer
// opening made while an owner is being read (an owner greets new writers only while read).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ipc/slot_channel.h"

namespace qvr::test {

// Reads every message of `owner` on a thread of its own until the owner is closed.
class OwnerReader {
 public:
  explicit OwnerReader(ipc::SlotOwner& owner);
  // Closes the owner (if not closed yet) and waits for the thread.
  ~OwnerReader();
  OwnerReader(const OwnerReader&) = delete;
  OwnerReader& operator=(const OwnerReader&) = delete;

  // The messages so far, once at least `count` have arrived or 10 s have passed.
  std::vector<std::string> WaitFor(std::size_t count);
  // True once the owner's Read has reported kClosed.
  bool WaitUntilClosed();

 private:
  void Run();

  ipc::SlotOwner& owner_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> messages_;
  bool closed_ = false;
  std::thread thread_;
};

// Opens `name` while reading `owner` on the calling thread (whose read time-out must be
// finite); messages read meanwhile are appended to `read`.
std::unique_ptr<ipc::SlotOpening> OpenWhileReading(ipc::SlotBackend& backend,
                                                   std::u16string_view name, ipc::SlotOwner& owner,
                                                   std::vector<std::string>* read = nullptr);

inline constexpr std::chrono::seconds kEventually{10};

}  // namespace qvr::test
