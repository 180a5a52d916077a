#include "tests/ipc/slot_test_support.h"

#include <future>

namespace qvr::test {

OwnerReader::OwnerReader(ipc::SlotOwner& owner) : owner_(owner), thread_([this] { Run(); }) {}

OwnerReader::~OwnerReader() {
  owner_.Close();
  thread_.join();
}

void OwnerReader::Run() {
  std::vector<char> buffer(ipc::kSlotMaxMessage);
  while (true) {
    std::size_t length = 0;
    const auto result = owner_.Read(buffer.data(), buffer.size(), length);
    std::lock_guard lock(mutex_);
    if (result == ipc::SlotOwner::ReadResult::kMessage) {
      messages_.emplace_back(buffer.data(), length);
    } else if (result == ipc::SlotOwner::ReadResult::kClosed) {
      closed_ = true;
      changed_.notify_all();
      return;
    }
    changed_.notify_all();
  }
}

std::vector<std::string> OwnerReader::WaitFor(std::size_t count) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, kEventually, [&] { return messages_.size() >= count; });
  return messages_;
}

bool OwnerReader::WaitUntilClosed() {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, kEventually, [&] { return closed_; });
}

std::unique_ptr<ipc::SlotOpening> OpenWhileReading(ipc::SlotBackend& backend,
                                                   std::u16string_view name, ipc::SlotOwner& owner,
                                                   std::vector<std::string>* read) {
  auto opening = std::async(std::launch::async, [&backend, name] { return backend.Open(name); });
  std::vector<char> buffer(ipc::kSlotMaxMessage);
  const auto give_up = std::chrono::steady_clock::now() + kEventually;
  while (opening.wait_for(std::chrono::seconds(0)) != std::future_status::ready &&
         std::chrono::steady_clock::now() < give_up) {
    std::size_t length = 0;
    if (owner.Read(buffer.data(), buffer.size(), length) == ipc::SlotOwner::ReadResult::kMessage &&
        read != nullptr) {
      read->emplace_back(buffer.data(), length);
    }
  }
  return opening.get();
}

}  // namespace qvr::test
