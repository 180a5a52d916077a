// The requests to end a program from outside (SIGINT and SIGTERM, or the console's close
// events on Windows), turned into calls on a thread of their own. Both programs and their
// headless and tray modes end this way.
#pragma once

#include <functional>
#include <memory>

namespace qvr {

// Holds the requests back for the whole process. Call before any thread starts, so that
// every thread inherits the blocked set and only the waiter takes them. They stay blocked
// until the process ends, so a late request cannot kill an orderly exit.
void BlockStopSignals();

class StopSignalWaiter {
 public:
  // Starts waiting; `on_request` runs on the waiter's thread for every request.
  explicit StopSignalWaiter(std::function<void()> on_request);
  // Stops waiting and joins.
  ~StopSignalWaiter();
  StopSignalWaiter(const StopSignalWaiter&) = delete;
  StopSignalWaiter& operator=(const StopSignalWaiter&) = delete;

 private:
  struct Native;
  std::unique_ptr<Native> native_;
};

}  // namespace qvr
