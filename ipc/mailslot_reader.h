// Owns a slot and turns every message that arrives there into one callback on the thread
// that made the reader. A thread of its own reads the slot and queues each message; a
// notification posted to the creating thread's dispatcher empties the queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "ipc/dispatcher.h"
#include "ipc/slot_channel.h"

namespace qvr {

struct TMailSlotMessage {
  std::u16string Text;
};

// First in, first out, under one lock that the owner takes around each access.
class TMailSlotMessages {
 public:
  TMailSlotMessages() = default;
  ~TMailSlotMessages();
  TMailSlotMessages(const TMailSlotMessages&) = delete;
  TMailSlotMessages& operator=(const TMailSlotMessages&) = delete;

  void Lock() { mutex_.lock(); }
  void Unlock() { mutex_.unlock(); }
  std::size_t Count() const { return items_.size(); }
  TMailSlotMessage& Add() { return items_.emplace_back(); }
  void Delete(std::size_t index) {
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  TMailSlotMessage& Items(std::size_t index) { return items_[index]; }

 private:
  std::mutex mutex_;
  std::deque<TMailSlotMessage> items_;
};

class TMailSlotReader {
 public:
  using TMessageEvent = std::function<void(TMailSlotReader& sender, const std::u16string& text)>;

  // Must be made on a thread that a Dispatcher serves; the callbacks run there. When the
  // slot cannot be made (the name is owned already) the reader never calls back.
  TMailSlotReader(std::u16string_view name, bool create_suspended,
                  ipc::SlotBackend& backend = ipc::SystemSlots());
  // Stops the thread without waiting for a message; queued messages are dropped.
  ~TMailSlotReader();
  TMailSlotReader(const TMailSlotReader&) = delete;
  TMailSlotReader& operator=(const TMailSlotReader&) = delete;

  void SetOnMessage(TMessageEvent handler) { on_message_ = std::move(handler); }
  const TMessageEvent& OnMessage() const { return on_message_; }

  // Starts a reader made with create_suspended; does nothing otherwise.
  void Start();
  // True when the reader made its slot.
  bool OwnsSlot() const { return handle_ != nullptr; }
  // True when messages wait in the queue behind the one being delivered; any thread.
  bool HasQueuedMessages();

 private:
  struct Window;  // the notification target; outlives nothing of the reader

  void Execute();
  void QueueMessage(std::string_view received);
  void DeliverMessages();

  std::shared_ptr<Window> window_;
  TMessageEvent on_message_;
  std::unique_ptr<ipc::SlotOwner> handle_;
  TMailSlotMessages messages_;
  std::thread thread_;
  bool started_ = false;
  std::atomic<bool> terminated_{false};  // the stop request, looked at after every read
};

}  // namespace qvr
