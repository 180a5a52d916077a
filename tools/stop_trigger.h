// Ends a blocking listen from outside its loop: on SIGINT or SIGTERM, or when a deadline
// passes, a thread of its own calls the given action once (the listener closes its slot,
// which wakes the waiting read).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace qvr::tools {

class StopTrigger {
 public:
  using Deadline = std::optional<std::chrono::steady_clock::time_point>;

  // Call on the main thread before any other thread starts: from then on the stop
  // signals wait for a trigger instead of ending the process, and a closed standard
  // output makes writes fail instead of killing the process.
  static void HoldStopSignals();

  StopTrigger(Deadline deadline, std::function<void()> on_stop);
  // Ends the thread; `on_stop` is not called if it has not been yet.
  ~StopTrigger();
  StopTrigger(const StopTrigger&) = delete;
  StopTrigger& operator=(const StopTrigger&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qvr::tools
