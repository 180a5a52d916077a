#include "server/qv_sync.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <unordered_set>
#include <utility>

namespace qvr::server {

struct TQVSyncClass::Pending {
  enum class State { kWaiting, kRunning, kDone, kDropped };

  std::vector<std::u16string> texts;
  State state = State::kWaiting;
  std::exception_ptr error;
  std::condition_variable finished;
};

// Shared with the posted tasks, which may outlive the hand-off object.
struct TQVSyncClass::Core {
  explicit Core(Step step) : step(std::move(step)) {}

  Step step;  // used only while not closed
  std::mutex mutex;
  bool closed = false;
  std::unordered_set<Pending*> pending;

  // Under `mutex`.
  void Finish(Pending& p, Pending::State state) {
    p.state = state;
    p.finished.notify_one();
  }
};

// The task posted to the UI thread. A dispatcher that discards it unrun releases the waiter.
class TQVSyncClass::Ticket {
 public:
  Ticket(std::shared_ptr<Core> core, std::shared_ptr<Pending> pending)
      : core_(std::move(core)), pending_(std::move(pending)) {}
  ~Ticket() {
    if (ran_) return;
    std::lock_guard lock(core_->mutex);
    if (pending_->state == Pending::State::kWaiting)
      core_->Finish(*pending_, Pending::State::kDropped);
  }
  Ticket(const Ticket&) = delete;
  Ticket& operator=(const Ticket&) = delete;

  void Run() {
    ran_ = true;
    {
      std::lock_guard lock(core_->mutex);
      if (pending_->state != Pending::State::kWaiting) return;
      pending_->state = Pending::State::kRunning;
    }
    std::exception_ptr error;
    try {
      for (const auto& text : pending_->texts) core_->step(text);
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard lock(core_->mutex);
      pending_->error = error;
      pending_->state = Pending::State::kDone;
    }
    // Woken after the unlock, the connection thread does not block on the mutex at once;
    // `pending_` keeps the waiter's state alive even once it has returned.
    pending_->finished.notify_one();
  }

 private:
  std::shared_ptr<Core> core_;
  std::shared_ptr<Pending> pending_;
  bool ran_ = false;  // Run and the destructor both happen on the UI thread
};

TQVSyncClass::TQVSyncClass(Dispatcher& ui, Step show_and_forward)
    : ui_(ui), core_(std::make_shared<Core>(std::move(show_and_forward))) {}

TQVSyncClass::~TQVSyncClass() {
  Close();
}

bool TQVSyncClass::Deliver(std::vector<std::u16string> texts) {
  auto pending = std::make_shared<Pending>();
  pending->texts = std::move(texts);
  {
    std::lock_guard lock(core_->mutex);
    if (core_->closed) return false;
    core_->pending.insert(pending.get());
  }
  try {
    auto ticket = std::make_shared<Ticket>(core_, pending);
    ui_.Post([ticket] { ticket->Run(); });
  } catch (...) {
    std::lock_guard lock(core_->mutex);
    core_->pending.erase(pending.get());
    throw;
  }

  std::unique_lock lock(core_->mutex);
  pending->finished.wait(lock, [&] {
    return pending->state == Pending::State::kDone || pending->state == Pending::State::kDropped;
  });
  core_->pending.erase(pending.get());
  if (pending->error) std::rethrow_exception(pending->error);
  return pending->state == Pending::State::kDone;
}

void TQVSyncClass::Close() {
  std::lock_guard lock(core_->mutex);
  core_->closed = true;
  for (Pending* pending : core_->pending) {
    if (pending->state == Pending::State::kWaiting)
      core_->Finish(*pending, Pending::State::kDropped);
  }
}

}  // namespace qvr::server
