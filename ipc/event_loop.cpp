#include "ipc/event_loop.h"

#include <utility>

namespace qvr {

namespace {
thread_local Dispatcher* current_dispatcher = nullptr;
}

Dispatcher* Dispatcher::Current() { return current_dispatcher; }

Dispatcher* Dispatcher::MakeCurrent(Dispatcher* dispatcher) {
  Dispatcher* previous = current_dispatcher;
  current_dispatcher = dispatcher;
  return previous;
}

EventLoop::EventLoop() : previous_(MakeCurrent(this)) {}

EventLoop::~EventLoop() {
  if (Current() == this) MakeCurrent(previous_);
}

void EventLoop::Post(Task task) {
  bool sleeping;
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    sleeping = sleepers_ > 0;
  }
  // A wake-up costs a system call; a loop that is busy finds the task without one.
  if (sleeping) wake_.notify_one();
}

void EventLoop::Sleep(std::unique_lock<std::mutex>& lock) {
  ++sleepers_;
  wake_.wait(lock);
  --sleepers_;
}

bool EventLoop::SleepUntil(std::unique_lock<std::mutex>& lock,
                           std::chrono::steady_clock::time_point deadline) {
  ++sleepers_;
  const bool woken = wake_.wait_until(lock, deadline) == std::cv_status::no_timeout;
  --sleepers_;
  return woken;
}

bool EventLoop::TakeTask(Task& task, std::unique_lock<std::mutex>& lock) {
  (void)lock;
  if (tasks_.empty()) return false;
  task = std::move(tasks_.front());
  tasks_.pop_front();
  return true;
}

void EventLoop::RunTask(Task& task, std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  try {
    task();
  } catch (...) {
    if (!exception_handler_) {
      lock.lock();
      throw;
    }
    exception_handler_(std::current_exception());
  }
  lock.lock();
}

void EventLoop::Run() {
  std::unique_lock lock(mutex_);
  bool quit = std::exchange(quit_pending_, false);
  runs_.push_back(&quit);
  try {
    while (!quit) {
      Task task;
      if (!TakeTask(task, lock)) {
        Sleep(lock);
        continue;
      }
      RunTask(task, lock);
    }
  } catch (...) {
    runs_.pop_back();
    throw;
  }
  runs_.pop_back();
}

void EventLoop::SetExceptionHandler(std::function<void(std::exception_ptr)> handler) {
  exception_handler_ = std::move(handler);
}

bool EventLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  std::unique_lock lock(mutex_);
  while (true) {
    lock.unlock();
    if (done()) return true;
    lock.lock();
    Task task;
    if (!TakeTask(task, lock)) {
      if (!SleepUntil(lock, deadline) && tasks_.empty()) {
        lock.unlock();
        return done();
      }
      continue;
    }
    RunTask(task, lock);
  }
}

void EventLoop::ProcessPending() {
  std::unique_lock lock(mutex_);
  std::size_t count = tasks_.size();
  while (count-- > 0) {
    Task task;
    if (!TakeTask(task, lock)) break;
    RunTask(task, lock);
  }
}

void EventLoop::Quit() {
  {
    std::lock_guard lock(mutex_);
    if (runs_.empty()) {
      quit_pending_ = true;
    } else {
      *runs_.back() = true;
    }
  }
  wake_.notify_all();  // rare: no need to spare the wake-up
}

}  // namespace qvr
