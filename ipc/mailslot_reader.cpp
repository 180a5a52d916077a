#include "ipc/mailslot_reader.h"

#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "ipc/codepage.h"

namespace qvr {

// What a notification reaches. A notification that is handled after the reader has gone
// finds the token expired and does nothing.
struct TMailSlotReader::Window {
  TMailSlotReader* reader;
  Dispatcher* dispatcher;
};

namespace {

// Holds the queue's lock for one scope, also when the work inside raises.
class QueueLock {
 public:
  explicit QueueLock(TMailSlotMessages& messages) : messages_(messages) { messages_.Lock(); }
  ~QueueLock() { messages_.Unlock(); }
  QueueLock(const QueueLock&) = delete;
  QueueLock& operator=(const QueueLock&) = delete;

 private:
  TMailSlotMessages& messages_;
};

Dispatcher& CurrentDispatcher() {
  Dispatcher* dispatcher = Dispatcher::Current();
  if (dispatcher == nullptr) {
    throw std::logic_error("TMailSlotReader needs a thread with a dispatcher");
  }
  return *dispatcher;
}

}  // namespace

TMailSlotMessages::~TMailSlotMessages() {
  QueueLock lock(*this);
  items_.clear();
}

TMailSlotReader::TMailSlotReader(std::u16string_view name, bool create_suspended,
                                 ipc::SlotBackend& backend)
    : window_(std::make_shared<Window>(Window{this, &CurrentDispatcher()})) {
  // Stored even when null: the thread then ends at once and never calls back.
  handle_ = backend.Create(name, ipc::kSlotMaxMessage, ipc::kWaitForever);
  if (!create_suspended) Start();
}

TMailSlotReader::~TMailSlotReader() {
  terminated_.store(true);
  if (handle_) handle_->Close();  // a waiting Read returns at once
  if (thread_.joinable()) thread_.join();
  window_.reset();
}

bool TMailSlotReader::HasQueuedMessages() {
  messages_.Lock();
  const bool queued = messages_.Count() > 0;
  messages_.Unlock();
  return queued;
}

void TMailSlotReader::Start() {
  if (started_) return;
  started_ = true;
  thread_ = std::thread([this] {
    try {
      Execute();
    } catch (...) {
      // As a platform thread does: an exception ends the reader thread quietly.
    }
  });
}

void TMailSlotReader::Execute() {
  if (!handle_) return;
  std::vector<char> buffer(ipc::kSlotMaxMessage);
  while (true) {
    std::size_t length = 0;
    const auto result = handle_->Read(buffer.data(), buffer.size(), length);
    if (result == ipc::SlotOwner::ReadResult::kMessage) {
      QueueMessage(std::string_view(buffer.data(), length));
    } else if (result == ipc::SlotOwner::ReadResult::kClosed) {
      return;
    }
    if (terminated_.load()) return;
  }
}

void TMailSlotReader::QueueMessage(std::string_view received) {
  {
    QueueLock lock(messages_);
    messages_.Add().Text = AnsiToUtf16(received);
  }
  std::weak_ptr<Window> token = window_;
  window_->dispatcher->Post([token = std::move(token)] {
    if (const std::shared_ptr<Window> window = token.lock()) window->reader->DeliverMessages();
  });
}

void TMailSlotReader::DeliverMessages() {
  if (!on_message_) return;
  std::size_t count = 0;
  do {
    std::optional<std::u16string> text;
    {
      QueueLock lock(messages_);
      count = messages_.Count();
      if (count > 0) {
        text = std::move(messages_.Items(0).Text);
        messages_.Delete(0);
      }
    }
    if (text && on_message_) {
      // A copy, so that a callback may replace or clear the handler while it runs.
      const TMessageEvent handler = on_message_;
      handler(*this, *text);
    }
  } while (count > 0);
}

}  // namespace qvr
