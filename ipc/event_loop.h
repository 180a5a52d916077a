// The programs' own event loop for headless runs and tests: a queue of tasks that the
// owning thread runs. Loops nest: a task may run the loop again (as a modal dialog does),
// and Quit ends the innermost run.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

#include "ipc/dispatcher.h"

namespace qvr {

class EventLoop final : public Dispatcher {
 public:
  // Becomes the dispatcher of the constructing thread, which must run it.
  EventLoop();
  ~EventLoop() override;
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  void Post(Task task) override;

  // Runs tasks until Quit is called for this run.
  void Run();
  // Runs tasks until `done` returns true (checked after each task) or the time is up;
  // returns the last answer of `done`.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit);
  // Runs the tasks already pending, without waiting.
  void ProcessPending();
  // Ends the innermost Run (or the next one, when none is running); thread-safe.
  void Quit();

  // Where an exception that leaves a task goes; the loop then goes on, as a GUI
  // application's top-level handler does. Without a handler the exception leaves Run.
  void SetExceptionHandler(std::function<void(std::exception_ptr)> handler);

 private:
  bool TakeTask(Task& task, std::unique_lock<std::mutex>& lock);
  void RunTask(Task& task, std::unique_lock<std::mutex>& lock);
  void Sleep(std::unique_lock<std::mutex>& lock);
  // False when the deadline passed.
  bool SleepUntil(std::unique_lock<std::mutex>& lock,
                  std::chrono::steady_clock::time_point deadline);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  std::vector<bool*> runs_;  // quit flags of the nested runs, innermost last
  bool quit_pending_ = false;
  int sleepers_ = 0;  // threads waiting for a task (only the owner, but nested runs count)
  std::function<void(std::exception_ptr)> exception_handler_;
  Dispatcher* previous_;
};

}  // namespace qvr
