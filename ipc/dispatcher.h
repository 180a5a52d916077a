// The seam between worker threads and the thread that owns a window or a loop: a task
// posted here runs later on that thread, in the order of posting. The programs' own
// loop (EventLoop) and the Qt layer each provide one.
#pragma once

#include <functional>

namespace qvr {

class Dispatcher {
 public:
  using Task = std::function<void()>;

  virtual ~Dispatcher() = default;

  // Thread-safe; returns at once. Tasks still pending when the dispatcher goes are dropped.
  virtual void Post(Task task) = 0;

  // The dispatcher that serves the calling thread, or nullptr when none does.
  static Dispatcher* Current();

 protected:
  // Makes `dispatcher` the one of the calling thread; returns the one it replaces.
  static Dispatcher* MakeCurrent(Dispatcher* dispatcher);
};

}  // namespace qvr
